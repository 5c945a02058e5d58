#include "runs/registration_plan.hpp"

#include <cstdio>
#include <limits>

#include "build_config.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"

namespace ml {

std::string shortcut_icon(std::string_view icon_path, std::string_view runner_path,
                          bool icon_exists) {
    return std::string(icon_exists ? icon_path : runner_path);
}

std::string shortcut_working_folder(std::string_view target) {
    return path_parent(target);
}

std::string start_menu_created_line(std::string_view path) {
    return "  [\u2713] Created Start Menu shortcut -> " + debug_quote(path) + "\n";
}

std::string desktop_created_line(std::string_view path) {
    return "  [\u2713] Created Desktop shortcut -> " + debug_quote(path) + "\n";
}

std::string uninstall_command(std::string_view install_path) {
    return in_double_quotes(path_join(install_path, "Marrowlane-Setup.exe")) + " --uninstall";
}

std::string display_icon(std::string_view icon_path, std::string_view runner_path,
                         bool icon_exists) {
    if (icon_exists) return in_double_quotes(icon_path);
    return in_double_quotes(runner_path) + ",0";
}

std::vector<UninstallValue> uninstall_values(std::string_view install_path,
                                             std::string_view icon_path,
                                             std::string_view runner_path, bool icon_exists) {
    // Paths that are not valid Unicode reach the registry with U+FFFD in place.
    return {
        {"DisplayName", std::string("Marrowlane")},
        {"DisplayVersion", std::string(build::kVersion)},
        {"Publisher", std::string("Marrowlane Contributors")},
        {"InstallLocation", sanitize_utf8(install_path)},
        {"UninstallString", sanitize_utf8(uninstall_command(install_path))},
        {"DisplayIcon", sanitize_utf8(display_icon(icon_path, runner_path, icon_exists))},
        {"NoModify", std::uint32_t{1}},
        {"NoRepair", std::uint32_t{1}},
    };
}

std::string quiet_uninstall_command(std::string_view install_path) {
    return uninstall_command(install_path) + " --cli -y";
}

std::uint32_t size_in_kib(std::uint64_t bytes) {
    const std::uint64_t kib = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(kib < kLargest ? kib : kLargest);
}

std::string install_date_text(LocalDate date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u", date.year, date.month, date.day);
    return text;
}

std::vector<UninstallValue> package_manager_values(std::string_view install_path,
                                                   std::optional<std::uint64_t> folder_bytes,
                                                   LocalDate today) {
    std::vector<UninstallValue> values;
    values.push_back(
        {"QuietUninstallString", sanitize_utf8(quiet_uninstall_command(install_path))});
    if (folder_bytes) values.push_back({"EstimatedSize", size_in_kib(*folder_bytes)});
    values.push_back({"InstallDate", install_date_text(today)});
    return values;
}

}  // namespace ml
