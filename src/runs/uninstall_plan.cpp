#include "runs/uninstall_plan.hpp"

#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/artwork.hpp"

namespace ml {
namespace {

const std::string kRule(54, '=');

constexpr std::string_view kMatchText = "marrowlane";

// Folding ASCII letters is exact here, not an approximation of full Unicode lower-casing:
// the only characters outside ASCII whose lower-case form holds ASCII are U+0130 ("i" and a
// combining dot) and U+212A KELVIN SIGN ("k"), and neither letter occurs in the match text.
// Every other character lowers to non-ASCII code points, whose UTF-8 bytes can never be part
// of an ASCII match.
bool contains_match_text(std::string_view text) {
    return ascii_lower(text).find(kMatchText) != std::string::npos;
}

}  // namespace

std::string uninstall_banner_text() {
    return kRule + "\n Marrowlane - System Uninstaller" + std::string(21, ' ') + "\n" + kRule +
           "\n";
}

std::string cleaned_folder_line(std::string_view folder) {
    return "[\xE2\x9C\x93] Cleaned application files from " + debug_quote(folder) + "\n";
}

std::string uninstall_closing_text() {
    return "\n" + kRule + "\n  Marrowlane has been cleanly uninstalled.\n" + kRule + "\n";
}

bool is_product_shortcut(const SteamShortcut& shortcut) {
    // equals_ascii_ci compares lengths first: "Marrowlane Beta" is not a name match.
    return equals_ascii_ci(shortcut.app_name, kMatchText) || contains_match_text(shortcut.exe);
}

ProductRemoval remove_product_shortcuts(std::vector<SteamShortcut> shortcuts) {
    ProductRemoval removal;
    removal.kept.reserve(shortcuts.size());
    for (SteamShortcut& shortcut : shortcuts) {
        if (is_product_shortcut(shortcut)) {
            removal.removed_appids.push_back(shortcut.appid);
        } else {
            removal.kept.push_back(std::move(shortcut));
        }
    }
    return removal;
}

std::vector<std::string> artwork_files_for(std::span<const std::uint32_t> appids) {
    std::vector<std::string> names;
    names.reserve(appids.size() * kArtworkKinds.size());
    for (const std::uint32_t appid : appids) {
        for (const ArtworkKind& kind : kArtworkKinds)
            names.push_back(artwork_file_name(kind, appid));
    }
    return names;
}

std::optional<std::string> application_folder_parent(const std::optional<std::string>& value) {
    if (!value || !is_absolute_path(*value)) return std::nullopt;
    return *value;
}

std::optional<std::string> delayed_folder_removal_command(std::string_view folder_name) {
    if (folder_name.empty() || folder_name == "." || folder_name == "..") return std::nullopt;
    for (const char c : folder_name) {
        const auto byte = static_cast<unsigned char>(c);
        // cmd expands %NAME% even between double quotes (and !NAME! when delayed expansion
        // is on by registry); a quote would end the quoted name; separators or a drive
        // colon would make it a path instead of a name inside the working folder; the rest
        // cannot occur in a file name.
        if (byte < 0x20 || byte == 0x7F ||
            std::string_view("%!\"\\/:*?<>|").find(c) != std::string_view::npos) {
            return std::nullopt;
        }
    }
    return "ping 127.0.0.1 -n 2 > nul & rmdir /s /q \"" + std::string(folder_name) + "\"";
}

}  // namespace ml
