#include "runs/app_files_plan.hpp"

#include "build_config.hpp"
#include "platform/json_object.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"

namespace ml {
namespace {

// A line of an INI-style text without the spaces, tabs and carriage return around it.
std::string_view trim_ini_space(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// program_dir joined with name, or the empty path when the folder is unknown.
std::string beside_program(std::string_view program_dir, std::string_view name) {
    return program_dir.empty() ? std::string() : path_join(program_dir, name);
}

// The product's four values, auto_check_updates and the members kept, one to a line.
std::string config_text(std::string_view origin, std::string_view game_name,
                        std::string_view game_url, std::string_view auto_check_updates,
                        const std::vector<JsonMember>& kept) {
    std::string text = "{\n  \"server_origin\": \"" + json_string_content(origin) +
                       "\",\n  \"installed_version\": \"" + std::string(build::kVersion) +
                       "\",\n  \"game_name\": \"" + json_string_content(game_name) +
                       "\",\n  \"game_url\": \"" + json_string_content(game_url) +
                       "\",\n  \"auto_check_updates\": " + std::string(auto_check_updates);
    for (const JsonMember& m : kept)
        text += ",\n  " + std::string(m.name_text) + ": " + std::string(m.value_text);
    return text + "\n}";
}

}  // namespace

std::string config_json_text(std::string_view origin, std::string_view game_name,
                             std::string_view game_url) {
    return config_text(origin, game_name, game_url, "true", {});
}

std::string config_json_text_over(std::string_view existing, std::string_view origin,
                                  std::string_view game_name, std::string_view game_url) {
    const auto members = json_object_members(existing);
    if (!members) return config_json_text(origin, game_name, game_url);
    std::string_view auto_check_updates = "true";
    std::vector<JsonMember> kept;
    for (const JsonMember& m : *members) {
        if (m.name == "auto_check_updates") {
            // The last one counts, as JSON readers take it; a value the runner cannot take
            // as a switch is not kept.
            const bool flag = m.value_text == "true" || m.value_text == "false";
            auto_check_updates = flag ? m.value_text : "true";
        } else if (m.name != "server_origin" && m.name != "installed_version" &&
                   m.name != "game_name" && m.name != "game_url") {
            kept.push_back(m);
        }
    }
    return config_text(origin, game_name, game_url, auto_check_updates, kept);
}

std::optional<std::uint32_t> zone_of_stream(std::string_view stream) {
    // Written by Windows as plain ASCII; a stream saved as UTF-16 is read as well.
    std::string text;
    if (stream.starts_with("\xFF\xFE")) {
        std::u16string units;
        for (std::size_t k = 2; k + 1 < stream.size(); k += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(stream[k]) |
                                           (static_cast<unsigned char>(stream[k + 1]) << 8));
        text = utf16_to_utf8(units);
    } else {
        text = std::string(stream);
    }
    bool in_zone_transfer = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        line = trim_ini_space(line);
        if (line.starts_with('[')) {
            in_zone_transfer = equals_ascii_ci(line, "[ZoneTransfer]");
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!in_zone_transfer || equals == std::string_view::npos ||
            !equals_ascii_ci(trim_ini_space(line.substr(0, equals)), "ZoneId"))
            continue;
        const std::string_view value = trim_ini_space(line.substr(equals + 1));
        std::uint64_t zone = 0;
        std::size_t digits = 0;
        while (digits < value.size() && digits < 10 && value[digits] >= '0' && value[digits] <= '9')
            zone = zone * 10 + static_cast<std::uint64_t>(value[digits++] - '0');
        if (digits == 0 || zone > UINT32_MAX) return std::nullopt;
        return static_cast<std::uint32_t>(zone);
    }
    return std::nullopt;
}

bool is_marked_as_downloaded(std::string_view stream) {
    const auto zone = zone_of_stream(stream);
    return zone == 3u || zone == 4u;
}

std::vector<std::string> runner_candidates(std::string_view program_dir) {
    return {"marrowlane.exe",
            path_join("dist", "marrowlane.exe"),
            path_join(path_join("..", "dist"), "marrowlane.exe"),
            beside_program(program_dir, "marrowlane.exe"),
            "glasswick.exe",
            "glasswick"};
}

std::vector<std::string> loader_candidates(std::string_view program_dir) {
    return {"WebView2Loader.dll",
            path_join("dist", "WebView2Loader.dll"),
            path_join(path_join("..", "dist"), "WebView2Loader.dll"),
            beside_program(program_dir, "WebView2Loader.dll"),
            "media/windows/WebView2Loader.dll",
            "../media/windows/WebView2Loader.dll",
            "src-tauri/target/x86_64-pc-windows-gnu/release/WebView2Loader.dll"};
}

std::vector<std::string> icon_candidates(std::string_view program_dir) {
    return {"marrowlane.ico", "media/icons/icon.ico", "../media/icons/icon.ico",
            beside_program(program_dir, "marrowlane.ico")};
}

std::vector<std::string> image_candidates() {
    return {"marrowlane.png", "media/icons/128x128.png", "../media/icons/128x128.png",
            "media/steam/icon.png", "../media/steam/icon.png"};
}

std::string runner_url(std::string_view origin) {
    return std::string(origin) + "/api/download?os=windows";
}
std::string loader_url(std::string_view origin) {
    return std::string(origin) + "/WebView2Loader.dll";
}
std::string icon_url(std::string_view origin) {
    return std::string(origin) + "/marrowlane.ico";
}
std::string image_url(std::string_view origin) {
    return std::string(origin) + "/marrowlane.png";
}

namespace app_files_lines {

std::string config_deployed(std::string_view path) {
    return "[\u2713] Deployed update configuration -> " + debug_quote(path) + "\n";
}
std::string runner_found(std::string_view candidate) {
    return "[*] Found valid local binary at " + debug_quote(candidate) + "\n";
}
std::string runner_deployed(std::string_view runner_path) {
    return "[\u2713] Deployed native runner -> " + debug_quote(runner_path) + "\n";
}
std::string runner_fetching(std::string_view url) {
    return "[*] Fetching Marrowlane runner from " + std::string(url) + "...\n";
}
std::string runner_downloaded(std::string_view runner_path) {
    return "[\u2713] Downloaded and deployed runner -> " + debug_quote(runner_path) + "\n";
}
std::string runner_invalid(std::string_view runner_path) {
    return "[!] Warning: Downloaded runner at " + debug_quote(runner_path) +
           " is not a valid executable for this platform!\n";
}
std::string runner_not_downloaded(std::string_view message, std::string_view install_path) {
    return "    [!] Could not download runner binary (" + std::string(message) +
           "). Place marrowlane.exe in " + debug_quote(install_path) + "\n";
}
std::string runner_kept(std::string_view message, std::string_view install_path, bool damaged) {
    const std::string head =
        "    [!] Could not download runner binary (" + std::string(message) + "). ";
    if (!damaged)
        return head + "Kept the marrowlane.exe already in " + debug_quote(install_path) + "\n";
    return head + "The marrowlane.exe in " + debug_quote(install_path) +
           " is damaged and stays as it was: run the setup again when the server can be "
           "reached, or place a working marrowlane.exe there\n";
}
std::string runner_in_use(std::string_view runner_path) {
    return "[!] Could not replace " + debug_quote(runner_path) +
           ": it is in use, most likely by a running Marrowlane. Close Marrowlane and run the "
           "setup again.\n";
}
std::string passed_over_downloaded(std::string_view source, std::uint32_t zone) {
    return "[!] Passed over " + debug_quote(source) + ": it is marked as downloaded from " +
           (zone == 4 ? "a restricted site" : "the Internet") + " (Zone.Identifier zone " +
           std::to_string(zone) + "), and the setup installs no downloaded file from beside it\n";
}
std::string setup_copy_failed(std::string_view dest, std::string_view message, bool in_use) {
    const std::string head = "[!] Could not replace the setup's copy " + debug_quote(dest);
    if (in_use) {
        return head +
               ": it is in use, perhaps by an uninstallation started from Windows "
               "Settings. Until the setup runs again after that has ended, Windows "
               "Settings starts the earlier copy.\n";
    }
    return head + " (" + std::string(message) + ")\n";
}
std::string loader_local(std::string_view source, std::string_view dest) {
    return "[\u2713] Deployed WebView2Loader.dll from local " + debug_quote(source) + " -> " +
           debug_quote(dest) + "\n";
}
std::string loader_passed_over(std::string_view source) {
    return "[!] Passed over " + debug_quote(source) +
           ": it is not a 64-bit Windows library, so it cannot be WebView2Loader.dll\n";
}
std::string loader_local_failed(std::string_view source, std::string_view dest,
                                std::string_view message) {
    return "[!] Could not deploy WebView2Loader.dll from local " + debug_quote(source) + " -> " +
           debug_quote(dest) + " (" + std::string(message) + ")\n";
}
std::string loader_differs(std::string_view source) {
    return "[!] Note: " + debug_quote(source) +
           " is not the WebView2Loader.dll this setup carries (its bytes differ); it was "
           "installed because it lies where the setup looks for a local copy\n";
}
std::string loader_fetching(std::string_view url) {
    return "[*] Fetching WebView2Loader.dll from " + std::string(url) + "...\n";
}
std::string loader_downloaded(std::string_view dest) {
    return "[\u2713] Downloaded and deployed WebView2Loader.dll -> " + debug_quote(dest) + "\n";
}
std::string loader_extracting(std::string_view dest) {
    return "[*] Extracting embedded WebView2Loader.dll -> " + debug_quote(dest) + "\n";
}
std::string loader_extracted(std::string_view dest) {
    return "[\u2713] Extracted embedded WebView2Loader.dll -> " + debug_quote(dest) + "\n";
}
std::string loader_extract_failed(std::string_view dest, std::string_view message) {
    return "[!] Could not write the built-in WebView2Loader.dll -> " + debug_quote(dest) + " (" +
           std::string(message) + ")\n";
}

}  // namespace app_files_lines
}  // namespace ml
