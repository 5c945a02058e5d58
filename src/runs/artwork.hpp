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

inline constexpr std::size_t kIconArtwork = 4;

// The grid file name of one kind for an app id: 2898237750p.png, 2898237750_icon.png, ...
std::string artwork_file_name(const ArtworkKind& kind, std::uint32_t appid);

}  // namespace ml
