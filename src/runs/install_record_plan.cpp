#include "runs/install_record_plan.hpp"

#include <algorithm>
#include <charconv>

#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/install_plan.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

// The first line of every record. Another header (a later format) is not read at all:
// entries whose meaning this program does not know are never acted on.
constexpr std::string_view kHeader = "Marrowlane install record 1";

constexpr std::string_view kFolderKind = "folder";
constexpr std::string_view kShortcutKind = "shortcut";
constexpr std::string_view kSteamKind = "steam";

constexpr std::string_view kShortcutFileName = "Marrowlane.lnk";

// Windows takes paths of up to 32767 UTF-16 units; the installation refuses any folder past
// MAX_PATH, so a longer text was never written by it.
constexpr std::size_t kLongestPath = 32767;

// \\?\ and \\.\ paths reach devices and skip the system's own path checks.
bool is_device_path(std::string_view path) {
    return path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
           (path[2] == '?' || path[2] == '.') && is_separator(path[3]);
}

// Each component of an absolute path is a plain name: no "." or "..", which would lead out of
// the place the path seems to name, and none of the characters a name cannot hold (a
// wildcard would let a file search pick whatever entry matches).
bool has_plain_components(std::string_view path) {
    std::string_view rest = has_drive_letter(path) ? path.substr(2) : path;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("\\/"), rest.size());
        const std::string_view part = rest.substr(0, end);
        rest.remove_prefix(end == rest.size() ? end : end + 1);
        if (part == "." || part == "..") return false;
        if (part.find_first_of("<>:\"|?*") != std::string_view::npos) return false;
    }
    return true;
}

template <typename T, typename Same>
void add_unique(std::vector<T>& list, T item, Same same) {
    if (list.size() >= kMaxRecordEntries) return;
    if (std::any_of(list.begin(), list.end(), [&](const T& known) { return same(known, item); }))
        return;
    list.push_back(std::move(item));
}

bool same_steam_entry(const RecordedSteamEntry& a, const RecordedSteamEntry& b) {
    return a.appid == b.appid && same_recorded_path(a.account, b.account);
}

void add_folder(InstallRecord& record, std::string path) {
    if (is_recordable_path(path)) add_unique(record.folders, std::move(path), same_recorded_path);
}

void add_shortcut(InstallRecord& record, std::string path) {
    if (is_recordable_shortcut(path))
        add_unique(record.shortcuts, std::move(path), same_recorded_path);
}

void add_steam(InstallRecord& record, RecordedSteamEntry entry) {
    if (is_shortcut_appid(entry.appid) && is_recordable_path(entry.account))
        add_unique(record.steam, std::move(entry), same_steam_entry);
}

// Decimal digits only, as install_record_text writes them.
std::optional<std::uint32_t> parse_appid(std::string_view text) {
    std::uint32_t value = 0;
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The text up to the next tab, taken off `rest`.
std::string_view take_field(std::string_view& rest) {
    const std::size_t tab = rest.find('\t');
    const std::string_view field = rest.substr(0, tab);
    rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
    return field;
}

void parse_line(InstallRecord& record, std::string_view line) {
    const std::string_view kind = take_field(line);
    if (kind == kFolderKind) {
        add_folder(record, std::string(line));
    } else if (kind == kShortcutKind) {
        add_shortcut(record, std::string(line));
    } else if (kind == kSteamKind) {
        const auto appid = parse_appid(take_field(line));
        if (appid) add_steam(record, {std::string(line), *appid});
    }
}

}  // namespace

bool is_recordable_path(std::string_view path) {
    if (path.size() > kLongestPath || !is_valid_utf8(path) || !is_absolute_path(path) ||
        is_device_path(path))
        return false;
    if (std::any_of(path.begin(), path.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        }))
        return false;
    return has_plain_components(path);
}

bool is_recordable_shortcut(std::string_view path) {
    return is_recordable_path(path) && equals_ascii_ci(path_file_name(path), kShortcutFileName);
}

bool is_shortcut_appid(std::uint32_t appid) noexcept {
    return (appid & 0x80000000u) != 0;
}

std::string install_record_text(const InstallRecord& record) {
    std::string text(kHeader);
    const auto line = [&text](std::string_view kind, std::string_view value) {
        text.append("\n").append(kind).append("\t").append(value);
    };
    for (const std::string& folder : record.folders) {
        if (is_recordable_path(folder)) line(kFolderKind, folder);
    }
    for (const std::string& shortcut : record.shortcuts) {
        if (is_recordable_shortcut(shortcut)) line(kShortcutKind, shortcut);
    }
    for (const RecordedSteamEntry& entry : record.steam) {
        if (is_shortcut_appid(entry.appid) && is_recordable_path(entry.account))
            line(kSteamKind, std::to_string(entry.appid) + "\t" + entry.account);
    }
    return text;
}

InstallRecord parse_install_record(std::string_view text) {
    InstallRecord record;
    bool first = true;
    while (!text.empty()) {
        const std::size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
        // A value someone edited with Windows line ends.
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (first) {
            if (line != kHeader) return {};
            first = false;
            continue;
        }
        parse_line(record, line);
    }
    return record;
}

InstallRecord merge_install_records(const InstallRecord& newer, const InstallRecord& older) {
    InstallRecord merged;
    for (const InstallRecord* part : {&newer, &older}) {
        for (const std::string& folder : part->folders) add_folder(merged, folder);
        for (const std::string& shortcut : part->shortcuts) add_shortcut(merged, shortcut);
        for (const RecordedSteamEntry& entry : part->steam) add_steam(merged, entry);
    }
    return merged;
}

bool same_recorded_path(std::string_view a, std::string_view b) {
    return same_path(ascii_lower(a), ascii_lower(b));
}

std::vector<std::uint32_t> recorded_artwork_ids(const InstallRecord& record,
                                                std::string_view account,
                                                std::span<const SteamShortcut> kept) {
    std::vector<std::uint32_t> ids;
    for (const RecordedSteamEntry& entry : record.steam) {
        if (!is_shortcut_appid(entry.appid) || !same_recorded_path(entry.account, account))
            continue;
        const auto same_id = [&](const SteamShortcut& s) { return s.appid == entry.appid; };
        if (std::any_of(kept.begin(), kept.end(), same_id)) continue;
        if (std::find(ids.begin(), ids.end(), entry.appid) == ids.end()) ids.push_back(entry.appid);
    }
    return ids;
}

std::vector<std::string> recorded_other_folders(const InstallRecord& record,
                                                const std::optional<std::string>& default_folder) {
    std::vector<std::string> folders;
    for (const std::string& folder : record.folders) {
        if (default_folder && same_recorded_path(folder, *default_folder)) continue;
        if (!is_recordable_path(folder)) continue;
        const auto same = [&](const std::string& known) {
            return same_recorded_path(known, folder);
        };
        if (std::none_of(folders.begin(), folders.end(), same)) folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string_view> product_file_names() {
    std::vector<std::string_view> names(kApplicationFiles.begin(), kApplicationFiles.end());
    names.push_back(kSetupCopyName);
    return names;
}

bool is_distinctive_product_file(std::string_view name) {
    return ascii_lower(name).find("marrowlane") != std::string::npos;
}

bool is_shell_link_header(std::string_view head) {
    // HeaderSize, then CLSID 00021401-0000-0000-C000-000000000046 as it lies on disk.
    static constexpr unsigned char kLinkStart[kShellLinkHeaderBytes] = {
        0x4C, 0x00, 0x00, 0x00, 0x01, 0x14, 0x02, 0x00, 0x00, 0x00,
        0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    return head.size() >= kShellLinkHeaderBytes &&
           std::equal(std::begin(kLinkStart), std::end(kLinkStart), head.begin(),
                      [](unsigned char want, char got) {
                          return want == static_cast<unsigned char>(got);
                      });
}

}  // namespace ml
