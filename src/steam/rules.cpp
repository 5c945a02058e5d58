#include "steam/rules.hpp"

#include <algorithm>

#include "platform/path.hpp"
#include "platform/powershell.hpp"
#include "platform/text.hpp"

namespace ml {

const SteamRegistrySource kSteamRegistrySources[3] = {
    {"HKCU\\Software\\Valve\\Steam", "SteamPath"},
    {"HKLM\\SOFTWARE\\Valve\\Steam", "InstallPath"},
    {"HKLM\\SOFTWARE\\WOW6432Node\\Valve\\Steam", "InstallPath"},
};

namespace {

// Code points with the Unicode White_Space property.
bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The code point of the valid UTF-8 sequence s[i, i + len).
char32_t decode(std::string_view s, std::size_t i, std::size_t len) {
    const auto byte = [&](std::size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(s[k]));
    };
    if (len == 1) return byte(i);
    char32_t c = byte(i) & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) c = (c << 6) | (byte(i + k) & 0x3F);
    return c;
}

std::size_t sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

// Trims Unicode white space from both ends of valid UTF-8.
std::string_view trim_unicode_space(std::string_view s) {
    while (!s.empty()) {
        const std::size_t len =
            std::min(sequence_length(static_cast<unsigned char>(s[0])), s.size());
        if (!is_unicode_space(decode(s, 0, len))) break;
        s.remove_prefix(len);
    }
    while (!s.empty()) {
        std::size_t start = s.size() - 1;
        while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
        if (!is_unicode_space(decode(s, start, s.size() - start))) break;
        s.remove_suffix(s.size() - start);
    }
    return s;
}

// A path broken into what identifies it.
struct PathKey {
    char drive = 0;              // upper-case drive letter, 0 without one
    int leading_separators = 0;  // 0 relative, 1 rooted, 2 a \\server\share path
    std::vector<std::string_view> components;

    friend bool operator==(const PathKey&, const PathKey&) = default;
};

PathKey path_key(std::string_view p) {
    PathKey key;
    if (has_drive_letter(p)) {
        key.drive = static_cast<char>(p[0] & ~0x20);
        p.remove_prefix(2);
    }
    while (key.leading_separators < 2 && !p.empty() && is_separator(p[0]) &&
           (key.leading_separators == 0 || key.drive == 0)) {
        ++key.leading_separators;
        p.remove_prefix(1);
    }
    while (!p.empty()) {
        const std::size_t end = std::min(p.find_first_of("\\/"), p.size());
        const std::string_view part = p.substr(0, end);
        p.remove_prefix(end);
        if (!p.empty()) p.remove_prefix(1);
        // A "." names the folder it is in, except at the start of a relative path.
        const bool leading_dot = key.components.empty() && key.leading_separators == 0;
        if (part.empty() || (part == "." && !leading_dot)) continue;
        key.components.push_back(part);
    }
    return key;
}

}  // namespace

std::vector<std::string> reg_sz_values(std::string_view output, std::string_view value_name) {
    const std::string text = sanitize_utf8(output);
    std::vector<std::string> values;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t feed = rest.find('\n');
        std::string_view line = rest.substr(0, feed);
        rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
        if (feed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);

        const std::size_t type = line.find("REG_SZ");
        if (type == std::string_view::npos || line.find(value_name) == std::string_view::npos) {
            continue;
        }
        values.emplace_back(trim_unicode_space(line.substr(type + 6)));
    }
    return values;
}

bool same_path(std::string_view a, std::string_view b) {
    return path_key(a) == path_key(b);
}

bool append_unique_path(std::vector<std::string>& list, std::string candidate) {
    const bool known = std::any_of(list.begin(), list.end(),
                                   [&](const std::string& p) { return same_path(p, candidate); });
    if (known) return false;
    list.push_back(std::move(candidate));
    return true;
}

std::string steam_folder_in(std::string_view folder) {
    // No character outside ASCII lower-cases to one of the letters of "steam", so the ASCII
    // lowering answers the same as a full Unicode one.
    if (ascii_lower(folder).ends_with("steam")) return std::string(folder);
    return path_join(folder, "Steam");
}

std::vector<std::string> program_folder_candidates(const EnvLookup& env) {
    std::vector<std::string> candidates;
    for (const char* name : {"ProgramFiles(x86)", "ProgramFiles"}) {
        if (auto value = env(name)) candidates.push_back(steam_folder_in(*value));
    }
    if (auto drive = env("SystemDrive")) candidates.push_back(steam_folder_in(*drive + "\\Steam"));
    candidates.emplace_back("C:\\Steam");
    candidates.emplace_back("D:\\Steam");
    return candidates;
}

std::vector<std::string> home_layout_candidates(const std::optional<std::string>& home) {
    const std::string h = home.value_or(".");
    return {h + "/.local/share/Steam", h + "/.steam/steam", h + "/.steam/root",
            h + "/.var/app/com.valvesoftware.Steam/data/Steam"};
}

bool is_account_folder_name(std::string_view name) {
    return !name.empty() && name != "0" &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// As in steam_folder_in, ASCII lowering is exact for the letters looked for.
bool is_steam_client(const ProcessEntry& process) {
    return ascii_lower(process.image) == "steam.exe";
}

}  // namespace

std::vector<std::uint32_t> steam_process_ids(std::span<const ProcessEntry> processes,
                                             std::uint32_t session) {
    std::vector<std::uint32_t> ids;
    for (const ProcessEntry& p : processes) {
        if (is_steam_client(p) && !p.other_user && p.session.value_or(session) == session)
            ids.push_back(p.pid);
    }
    return ids;
}

bool is_elsewhere_steam(const ProcessEntry& process, std::uint32_t session) {
    return is_steam_client(process) &&
           (process.other_user || (process.session && *process.session != session));
}

SteamRootsHeld steam_roots_held_elsewhere(std::span<const ProcessEntry> processes,
                                          std::uint32_t session, std::span<const std::string> roots,
                                          const SameFolder& same_folder) {
    SteamRootsHeld split;
    std::vector<std::string> folders;
    for (const ProcessEntry& p : processes) {
        if (!is_elsewhere_steam(p, session)) continue;
        const std::string folder = p.path ? path_parent(*p.path) : std::string();
        if (folder.empty())
            split.unplaced = true;
        else
            folders.push_back(folder);
    }
    for (const std::string& root : roots) {
        bool held = split.unplaced;
        for (const std::string& folder : folders) {
            if (!same_folder(root, folder)) continue;
            held = true;
            const bool named = std::any_of(split.folders.begin(), split.folders.end(),
                                           [&](const auto& f) { return same_folder(f, folder); });
            if (!named) split.folders.push_back(folder);
        }
        (held ? split.held : split.free).push_back(root);
    }
    if (split.unplaced) split.folders.clear();
    return split;
}

std::vector<std::uint32_t> test_process_ids(std::optional<std::string_view> text) {
    std::vector<std::uint32_t> ids;
    if (!text) return ids;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const std::size_t comma = std::min(rest.find(','), rest.size());
        const std::string_view number = rest.substr(0, comma);
        rest.remove_prefix(std::min(comma + 1, rest.size()));
        std::uint64_t id = 0;
        for (const char c : number) {
            if (c < '0' || c > '9' || id > 0xFFFFFFFFull / 10) return {};
            id = id * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (number.empty() || id > 0xFFFFFFFFull) return {};
        ids.push_back(static_cast<std::uint32_t>(id));
    }
    return ids;
}

std::chrono::milliseconds steam_close_wait_with(std::optional<std::string_view> override_ms) {
    return test_milliseconds(override_ms).value_or(kSteamCloseWait);
}

SteamStartRoute steam_start_route(bool elevated, bool split_token, DesktopShell shell) {
    if (!elevated) return SteamStartRoute::Direct;
    switch (shell) {
        case DesktopShell::OwnUserElevated:
            return SteamStartRoute::Direct;
        case DesktopShell::OwnUserNormal:
            return SteamStartRoute::DesktopShell;
        case DesktopShell::AnotherUser:
            return SteamStartRoute::LeaveClosed;
        case DesktopShell::Unknown:
            break;
    }
    return steam_start_route_without_shell(split_token);
}

SteamStartRoute steam_start_route_without_shell(bool split_token) {
    return split_token ? SteamStartRoute::LeaveClosed : SteamStartRoute::Direct;
}

bool is_web_address(std::string_view source) {
    return source.starts_with("http://") || source.starts_with("https://");
}

std::string powershell_download_script(std::string_view source, std::string_view dest) {
    return "Invoke-WebRequest -UseBasicParsing -Uri " + powershell_quote(source) + " -OutFile " +
           powershell_quote(dest);
}

bool has_image_signature(std::string_view head) {
    using namespace std::string_view_literals;
    const bool webp = head.size() >= 12 && head.starts_with("RIFF") && head.substr(8, 4) == "WEBP";
    return head.starts_with("\x89PNG\r\n\x1a\n"sv) || head.starts_with("\xFF\xD8\xFF"sv) ||
           head.starts_with("GIF87a"sv) || head.starts_with("GIF89a"sv) || webp ||
           head.starts_with("BM"sv) || head.starts_with("\0\0\x01\0"sv);
}

bool has_executable_mark(std::string_view head) {
    return head.starts_with("MZ");
}

namespace {

std::uint32_t little_endian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t k = width; k-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

}  // namespace

bool is_x64_image_headers(std::string_view head, ImageKind kind) {
    constexpr std::size_t kNewHeaderOffset = 0x3C;  // e_lfanew in the MZ header
    constexpr std::uint32_t kMachineAmd64 = 0x8664;
    constexpr std::uint32_t kExecutableImage = 0x0002;
    constexpr std::uint32_t kDll = 0x2000;
    constexpr std::uint32_t kPe32Plus = 0x20B;
    // Signature (4), file header (20), the optional header's magic (2).
    constexpr std::size_t kNeeded = 4 + 20 + 2;
    if (head.size() < kNewHeaderOffset + 4 || !has_executable_mark(head)) return false;
    const std::size_t pe = little_endian(head, kNewHeaderOffset, 4);
    // Written as a subtraction so that a huge offset cannot wrap around.
    if (pe > head.size() || head.size() - pe < kNeeded) return false;
    using namespace std::string_view_literals;
    if (head.substr(pe, 4) != "PE\0\0"sv) return false;
    const std::uint32_t machine = little_endian(head, pe + 4, 2);
    const std::uint32_t optional_size = little_endian(head, pe + 20, 2);
    const std::uint32_t flags = little_endian(head, pe + 22, 2);
    const std::uint32_t magic = little_endian(head, pe + 24, 2);
    const bool library = (flags & kDll) != 0;
    return machine == kMachineAmd64 && optional_size >= 2 && (flags & kExecutableImage) != 0 &&
           library == (kind == ImageKind::Library) && magic == kPe32Plus;
}

bool is_x64_image(std::string_view head, std::uint64_t file_size, ImageKind kind) {
    constexpr std::size_t kSectionHeaderBytes = 40;
    if (!is_x64_image_headers(head, kind)) return false;
    // is_x64_image_headers has checked that the file header lies within head.
    const std::size_t pe = little_endian(head, 0x3C, 4);
    const std::size_t sections = little_endian(head, pe + 6, 2);
    const std::size_t table = pe + 24 + little_endian(head, pe + 20, 2);
    if (sections == 0 || table > head.size() ||
        (head.size() - table) / kSectionHeaderBytes < sections)
        return false;
    // A file cut short (a disk error, an interrupted copy) keeps its headers: only the
    // sections' places show that their code and data are gone.
    for (std::size_t k = 0; k < sections; ++k) {
        const std::size_t at = table + k * kSectionHeaderBytes;
        const std::uint64_t size = little_endian(head, at + 16, 4);
        const std::uint64_t offset = little_endian(head, at + 20, 4);
        if (size != 0 && (offset > file_size || file_size - offset < size)) return false;
    }
    return true;
}

}  // namespace ml
