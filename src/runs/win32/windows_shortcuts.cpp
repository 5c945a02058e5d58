// Desktop and Start Menu shortcuts to the runner, written through the shell link interface:
// no PowerShell child, which costs a second, is blocked by policy on managed machines and
// makes antivirus heuristics suspicious.
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/com.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/known_folder.hpp"
#include "platform/path.hpp"
#include "platform/win32/shell_link.hpp"
#include "runs/win32/install_stages.hpp"
#include "runs/registration_plan.hpp"
#include "runs/win32/windows_shortcut.hpp"

namespace ml {

Result<void> create_windows_shortcut(const std::string& target, const std::string& shortcut_path,
                                     const std::string& icon_file) {
    // A failure here shows up as the save's own error.
    if (const std::string parent = path_parent(shortcut_path); !parent.empty())
        (void)create_directories(parent);
    ShellLink link;
    link.target = target;
    link.working_folder = shortcut_working_folder(target);
    link.icon_file = icon_file;
    return save_shell_link(shortcut_path, link);
}

namespace {

// Writes one shortcut into the file the shell or the profile names, and says how it went: the
// success line, or a line on standard error with the reason, which is also kept for the
// summary and the end box (they list only the shortcuts on disk).
void create_one_shortcut(const InstallContext& context, std::string_view label,
                         std::string (*created_line)(std::string_view path),
                         const std::optional<std::string>& path, const std::string& icon,
                         std::optional<std::string>& not_written) {
    if (!path) {
        err(shortcut_no_folder_line(label));
        not_written = shortcut_no_folder_reason(label);
        return;
    }
    auto created = create_windows_shortcut(context.runner_path, *path, icon);
    if (!created) {
        err(shortcut_failed_line(label, *path, created.error().message));
        not_written = created.error().message;
        return;
    }
    out(created_line(*path));
}

}  // namespace

Result<void> create_windows_shortcuts(const InstallContext& context) {
    out(kShortcutsHeading);
    const ComScope com;
    const std::string icon =
        shortcut_icon(context.icon_path, context.runner_path, path_exists(context.icon_path));
    // The Start Menu first, then the Desktop, each in the folder the shell names (the one the
    // user sees, also when OneDrive or a policy has moved it).
    if (context.start_menu_enabled) {
        create_one_shortcut(
            context, "Start Menu", start_menu_created_line,
            start_menu_shortcut_file(known_folder_path(KnownFolder::Programs), env_var("APPDATA")),
            icon, context.not_written.start_menu_shortcut);
    }
    if (context.desktop_enabled) {
        create_one_shortcut(
            context, "Desktop", desktop_created_line,
            desktop_shortcut_file(known_folder_path(KnownFolder::Desktop), env_var("USERPROFILE")),
            icon, context.not_written.desktop_shortcut);
    }
    return {};
}

}  // namespace ml
