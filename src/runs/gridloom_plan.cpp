#include "runs/gridloom_plan.hpp"

#include "platform/text.hpp"
#include "vdf/appid.hpp"

namespace ml {

std::string quote_executable(std::string_view exe) {
    if (!exe.empty() && exe.front() == '"' && exe.back() == '"') return std::string(exe);
    return in_double_quotes(exe);
}

std::uint32_t gridloom_appid(const CliOptions& options) {
    if (options.appid) return static_cast<std::uint32_t>(*options.appid);
    return compute_steam_appid(quote_executable(options.exe), options.name);
}

SteamShortcut make_gridloom_shortcut(const CliOptions& options, std::uint32_t appid,
                                     std::string icon_path) {
    SteamShortcut s;
    s.appid = appid;
    s.app_name = options.name;
    s.exe = quote_executable(options.exe);
    s.icon = std::move(icon_path);
    s.launch_options = options.launch_opts;
    s.is_hidden = 0;
    s.allow_desktop_config = 1;
    s.allow_overlay = 1;
    s.tags = {"Marrowlane", "WebAssembly"};
    return s;
}

std::optional<std::size_t> find_matching_shortcut(std::span<const SteamShortcut> list,
                                                  std::string_view name, std::uint32_t appid) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        // An entry without an "appid" key reads as 0, so 0 would take over an unrelated
        // shortcut; it is never a match by id (the name still matches).
        if (list[i].app_name == name || (appid != 0 && list[i].appid == appid)) return i;
    }
    return std::nullopt;
}

std::string gridloom_header(const CliOptions& options, std::uint32_t appid) {
    const std::string rule(54, '=');
    std::string text;
    text += rule + "\n";
    text += " Steam Non-Steam Shortcut Injector & Grid Automator  \n";
    text += rule + "\n";
    text += "Game Name:     " + options.name + "\n";
    text += "Game URL:      " + options.url + "\n";
    text += "Executable:    " + options.exe + "\n";
    text += "Launch Options: " + options.launch_opts + "\n";
    text += "Steam AppID:   " + std::to_string(static_cast<std::int32_t>(appid)) +
            " (unsigned: " + std::to_string(appid) + ")\n";
    return text;
}

Result<void> check_steam_dir(std::string_view dir, bool exists, bool is_folder) {
    if (!exists) {
        return fail(ErrorKind::NotFound, "Steam folder not found: " + std::string(dir) +
                                             ". Nothing was changed; check the --steam-dir path.");
    }
    if (!is_folder) {
        return fail(ErrorKind::InvalidInput,
                    "Not a folder: " + std::string(dir) +
                        ". Nothing was changed; --steam-dir names the Steam folder itself.");
    }
    return {};
}

}  // namespace ml
