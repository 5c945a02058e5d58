#include "runs/app_files_plan.hpp"

#include "build_config.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"

namespace ml {
namespace {

// program_dir joined with name, or the empty path when the folder is unknown.
std::string beside_program(std::string_view program_dir, std::string_view name) {
    return program_dir.empty() ? std::string() : path_join(program_dir, name);
}

}  // namespace

std::string config_json_text(std::string_view origin, std::string_view game_name,
                             std::string_view game_url) {
    return "{\n  \"server_origin\": \"" + json_string_content(origin) +
           "\",\n  \"installed_version\": \"" + std::string(build::kVersion) +
           "\",\n  \"game_name\": \"" + json_string_content(game_name) + "\",\n  \"game_url\": \"" +
           json_string_content(game_url) + "\",\n  \"auto_check_updates\": true\n}";
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
