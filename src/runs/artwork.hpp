#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ml {

// One kind of grid artwork. Steam finds it in the account's config\grid folder by a file
// name made of the shortcut's app id (unsigned decimal) and the kind's suffix.
struct ArtworkKind {
    std::string_view label;   // how the injection run names it on the console
    std::string_view suffix;  // after the app id: "p.png", "_hero.png", ...
};

// The five kinds, in deployment (and removal) order: portrait capsule, hero, logo,
// landscape banner, icon.
inline constexpr std::array<ArtworkKind, 5> kArtworkKinds = {{
    {"Portrait Poster (600x900)", "p.png"},
    {"Hero Banner (1920x620)", "_hero.png"},
    {"Transparent Logo", "_logo.png"},
    {"Landscape Banner (460x215)", ".png"},
    {"Square Icon", "_icon.png"},
}};

inline constexpr std::size_t kLogoArtwork = 2;
inline constexpr std::size_t kIconArtwork = 4;

// The grid file name of one kind for an app id: 2898237750p.png, 2898237750_icon.png, ...
std::string artwork_file_name(const ArtworkKind& kind, std::uint32_t appid);

// The file beside the logo where Steam keeps the logo's place on the game's page:
// "{id}.json". Steam clients since late 2025 draw a non-Steam shortcut's custom logo only
// when this file is there (the user otherwise has to open "Adjust Logo Position" and save
// once). Its content is written with the logo, and never over one already there: that one
// is the user's own placement.
std::string logo_position_file_name(std::uint32_t appid);

// The content written: Steam's own default place for a logo, the bottom-left corner of the
// hero at its full default size, which is what Steam itself saves when the user opens
// "Adjust Logo Position" and saves without moving anything. The hero images are made for that
// layout (their centre stays free), so the page looks as it did before Steam needed the file.
inline constexpr std::string_view kLogoPositionJson =
    R"({"nVersion":1,"logoPosition":{"pinnedPosition":"BottomLeft","nWidthPct":100,)"
    R"("nHeightPct":100}})";

// On standard error, after the logo's own line (`indent` its spaces): the logo position file
// could not be written (path in debug form, the error's message).
std::string logo_position_failed_line(std::string_view indent, std::string_view path,
                                      std::string_view error);

}  // namespace ml
