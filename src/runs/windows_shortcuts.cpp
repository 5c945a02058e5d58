// Desktop and Start Menu shortcuts to the runner, written through the shell link interface:
// no PowerShell child, which costs a second, is blocked by policy on managed machines and
// makes antivirus heuristics suspicious.
#include <string>

#include "platform/com.hpp"
#include "platform/console.hpp"
#include "platform/env.hpp"
#include "platform/files.hpp"
#include "platform/known_folder.hpp"
#include "platform/path.hpp"
#include "platform/shell_link.hpp"
#include "runs/install_stages.hpp"
#include "runs/registration_plan.hpp"
#include "runs/windows_shortcut.hpp"

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

Result<void> create_windows_shortcuts(const InstallContext& context) {
    out(kShortcutsHeading);
    const ComScope com;
    const std::string icon =
        shortcut_icon(context.icon_path, context.runner_path, path_exists(context.icon_path));
    // The Start Menu first, then the Desktop, each in the folder the shell names (the one the
    // user sees, also when OneDrive or a policy has moved it); a failure is not reported, as
    // the summary lists the shortcuts that were chosen.
    if (context.start_menu_enabled) {
        if (auto path = start_menu_shortcut_file(known_folder_path(KnownFolder::Programs),
                                                 env_var("APPDATA"))) {
            if (create_windows_shortcut(context.runner_path, *path, icon))
                out(start_menu_created_line(*path));
        }
    }
    if (context.desktop_enabled) {
        if (auto path = desktop_shortcut_file(known_folder_path(KnownFolder::Desktop),
                                              env_var("USERPROFILE"))) {
            if (create_windows_shortcut(context.runner_path, *path, icon))
                out(desktop_created_line(*path));
        }
    }
    return {};
}

}  // namespace ml
