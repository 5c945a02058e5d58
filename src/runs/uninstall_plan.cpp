#include "runs/uninstall_plan.hpp"

#include <algorithm>

#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/artwork.hpp"
#include "runs/steam_library_plan.hpp"

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

std::string uninstall_left_untouched_line(std::string_view shortcuts_path, std::string_view error) {
    return left_untouched_line(shortcuts_path, error, "Its Marrowlane entries were not removed.");
}

std::string uninstall_lock_skipped_line(std::string_view reason) {
    return steam_work_skipped_line(
        reason,
        "Its Marrowlane entries were not removed; run the uninstaller again to remove them.");
}

std::string uninstall_busy_line(std::string_view reason) {
    return "[!] Nothing was removed: " + std::string(reason) +
           ". Run the uninstaller again once it has finished.\n";
}

std::string uninstall_busy_box_text(std::string_view reason) {
    return "Marrowlane was not uninstalled: " + std::string(reason) +
           ".\n\nRun the uninstaller again once it has finished.";
}

std::string uninstall_steam_not_closed_line() {
    return steam_work_skipped_line(kSteamNotClosedReason,
                                   "Its Marrowlane entries were not removed; close Steam and "
                                   "run the uninstaller again to remove them.");
}

std::string uninstall_held_elsewhere_line(const SteamRootsHeld& held) {
    return steam_work_skipped_line(steam_held_elsewhere_reason(held),
                                   "The Marrowlane entries of its Steam accounts were not removed; "
                                   "run the uninstaller again once that Steam has closed.");
}

std::string cleaned_folder_line(std::string_view folder) {
    return "[\xE2\x9C\x93] Cleaned application files from " + debug_quote(folder) + "\n";
}

std::vector<std::string> entries_in_use(const FolderLeftovers& left,
                                        std::optional<std::string_view> own) {
    std::vector<std::string> named;
    for (const std::string& file : left.files) {
        if (!own || file != *own) named.push_back(file);
    }
    const auto holds_something = [&](const std::string& folder) {
        const std::string inside = folder + "\\";
        const auto below = [&](const std::string& path) { return path.starts_with(inside); };
        return std::any_of(left.files.begin(), left.files.end(), below) ||
               std::any_of(left.folders.begin(), left.folders.end(), below);
    };
    if (left.kept == 0) {
        for (const std::string& folder : left.folders) {
            if (!holds_something(folder)) named.push_back(folder);
        }
        if (named.empty() && !own && left.folder_left) named.emplace_back();
    }
    return named;
}

namespace {

// At most this many paths are listed; a folder of saves can hold hundreds.
constexpr std::size_t kPathsListed = 10;

std::string path_list(std::span<const std::string> paths, bool quoted, std::string_view between) {
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < kPathsListed; ++i) {
        if (i > 0) text.append(between);
        text.append(quoted ? debug_quote(paths[i]) : paths[i]);
    }
    if (paths.size() > kPathsListed)
        text.append(between).append("and " + std::to_string(paths.size() - kPathsListed) + " more");
    return text;
}

}  // namespace

std::string files_in_use_line(std::span<const std::string> paths, bool removal_pending) {
    std::string line = "[!] Not removed yet, still in use: " + path_list(paths, true, ", ") + ". ";
    line.append(removal_pending ? "They are removed once released, within about a minute; "
                                  "otherwise close Marrowlane and run the uninstaller again.\n"
                                : "Close Marrowlane and run the uninstaller again to remove "
                                  "them.\n");
    return line;
}

std::string uninstall_closing_text(bool files_left, SteamEntriesLeft steam) {
    const bool steam_left = steam != SteamEntriesLeft::No;
    std::string line = "  Marrowlane has been cleanly uninstalled.\n";
    if (files_left || steam_left) {
        line = "  Marrowlane has been uninstalled, except for ";
        if (steam_left) line.append("its Steam Library entries");
        if (files_left && steam_left) line.append(" and ");
        if (files_left) line.append("the files named above");
        line.append(".\n");
    }
    return "\n" + kRule + "\n" + line + kRule + "\n";
}

std::string uninstalled_box_text(std::span<const std::string> in_use, bool removal_pending,
                                 SteamEntriesLeft steam) {
    if (in_use.empty() && steam == SteamEntriesLeft::No) return std::string(kUninstalledText);
    std::string text = steam == SteamEntriesLeft::No
                           ? "Marrowlane has been uninstalled from your system and Steam Library"
                           : "Marrowlane has been uninstalled from your system";
    if (in_use.empty()) {
        text.append(".");
    } else {
        text.append(", except for these files, which are still in use:\n\n" +
                    path_list(in_use, false, "\n") + "\n\n");
        text.append(removal_pending
                        ? "They are removed once released, within about a minute. Otherwise "
                          "close Marrowlane and run the uninstaller again."
                        : "Close Marrowlane and run the uninstaller again to remove them.");
    }
    if (steam == SteamEntriesLeft::SteamStillRuns) {
        text.append("\n\nIts Steam Library entries were not removed: Steam could not be closed "
                    "(it may be running as administrator). Close Steam and run the uninstaller "
                    "again to remove them.");
    } else if (steam == SteamEntriesLeft::AnotherRunBusy) {
        text.append("\n\nIts Steam Library entries were not removed: another Marrowlane run "
                    "was changing Steam's shortcut files. Run the uninstaller again to remove "
                    "them.");
    } else if (steam == SteamEntriesLeft::HeldElsewhere) {
        text.append("\n\nIts Steam Library entries were not removed where a Steam of another "
                    "Windows user or session runs. Run the uninstaller again once that Steam "
                    "has closed.");
    }
    return text;
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
    names.reserve(appids.size() * (kArtworkKinds.size() + 1));
    for (const std::uint32_t appid : appids) {
        for (const ArtworkKind& kind : kArtworkKinds)
            names.push_back(artwork_file_name(kind, appid));
        names.push_back(logo_position_file_name(appid));
    }
    return names;
}

std::optional<std::string> application_folder_parent(const std::optional<std::string>& value) {
    if (!value || !is_absolute_path(*value)) return std::nullopt;
    return *value;
}

namespace {

constexpr std::string_view kRemovalFolderPrefix = "Marrowlane-Removal-";
constexpr std::size_t kRemovalFolderDigits = 16;
constexpr int kCleanupAttempts = 30;

// A character cmd would interpret even inside double quotes, or that cannot be passed.
bool unsafe_for_cmd(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '%' || c == '!' || c == '"';
}

}  // namespace

std::string removal_program_folder_name(std::uint64_t unique) {
    std::string name(kRemovalFolderPrefix);
    for (int shift = 60; shift >= 0; shift -= 4)
        name.push_back("0123456789abcdef"[(unique >> shift) & 0xF]);
    return name;
}

bool is_removal_program_folder_name(std::string_view name) {
    if (!name.starts_with(kRemovalFolderPrefix)) return false;
    name.remove_prefix(kRemovalFolderPrefix.size());
    return name.size() == kRemovalFolderDigits &&
           name.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<std::string> removal_program_cleanup_command(std::string_view folder_name,
                                                           std::string_view ping_program) {
    if (!is_removal_program_folder_name(folder_name) || ping_program.empty()) return std::nullopt;
    for (const char c : ping_program) {
        if (unsafe_for_cmd(c)) return std::nullopt;
    }
    const std::string folder = in_double_quotes(folder_name);
    const std::string program = in_double_quotes(std::string(folder_name) + ".exe");
    // Plain '&' only: Wine's cmd runs what follows "&&" even after a failed cd. Were the cd
    // to fail, the names below would still be ones no other file has. The folder is tried
    // again as well: whatever looks at the deleted copy (a virus scanner, Wine's console
    // host of a program that ran there) can hold it for a moment. The spaces before the
    // closing parentheses are needed: Wine's cmd takes a ')' right after a word as part of
    // that word. Each loop is in parentheses of its own, or cmd would take what follows it
    // for part of each round.
    const std::string wait = " & " + in_double_quotes(ping_program) + " -n 2 127.0.0.1 ) ) )";
    const std::string rounds = "(for /l %i in (1,1," + std::to_string(kCleanupAttempts) + ") do ";
    std::string command = "cd " + folder + " & set /p _= & " + rounds;
    command.append("(if exist ").append(program).append(" (del /f /q ").append(program);
    command.append(wait).append(" & cd .. & ").append(rounds);
    command.append("(if exist ").append(folder).append(" (rmdir ").append(folder).append(wait);
    return command;
}

}  // namespace ml
