#include "runs/install_plan.hpp"

#include "platform/path.hpp"
#include "platform/text.hpp"

namespace ml {
namespace {

const std::string kRule(54, '=');

// Whether the Steam line belongs in the summary and the completion box: wanted and there is
// a Steam to register with (a checked box without any root registers nothing), and the stage
// did not find that nothing reached an account.
bool steam_listed(const InstallContext& context) {
    return context.steam_enabled && !context.steam_roots.empty() &&
           !context.steam_nothing_delivered;
}
// A shortcut and the uninstall entry are listed when chosen and written.
bool desktop_listed(const InstallContext& context) {
    return context.desktop_enabled && !context.not_written.desktop_shortcut;
}
bool start_menu_listed(const InstallContext& context) {
    return context.start_menu_enabled && !context.not_written.start_menu_shortcut;
}
bool uninstall_entry_listed(const InstallContext& context) {
    return !context.not_written.uninstall_entry;
}

// What the installation left of the runner: the summary's headline and the box's first
// words follow it.
enum class RunnerState { Installed, Missing, NotUpdated };

RunnerState runner_state(const InstallContext& context) {
    if (context.runner_missing) return RunnerState::Missing;
    if (context.runner_in_use) return RunnerState::NotUpdated;
    return RunnerState::Installed;
}

// The parts with the separator between them.
std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

}  // namespace

std::string trim_origin(std::string_view server_origin) {
    while (!server_origin.empty() && server_origin.back() == '/') server_origin.remove_suffix(1);
    return std::string(server_origin);
}

std::string install_path_for(const std::optional<std::string>& install_dir,
                             const std::optional<std::string>& local_app_data) {
    // An empty --install-dir is taken as not given rather than as the current folder.
    if (install_dir && !install_dir->empty()) return *install_dir;
    // An empty LOCALAPPDATA would give the relative folder "Marrowlane", which depends on
    // the current folder and would end up in shortcuts and the uninstall entry.
    const std::string base = local_app_data && !local_app_data->empty()
                                 ? *local_app_data
                                 : std::string("C:\\Marrowlane");
    return path_join(base, "Marrowlane");
}

std::size_t longest_installed_path_length(std::string_view install_path) {
    std::string_view longest = kSetupCopyName;
    for (std::string_view name : kApplicationFiles) {
        if (utf8_to_utf16(name).size() > utf8_to_utf16(longest).size()) longest = name;
    }
    return utf8_to_utf16(path_join(install_path, longest)).size() + kTemporarySuffixMaxLength;
}

std::size_t longest_fitting_install_path(std::string_view install_path) {
    const std::size_t added =
        longest_installed_path_length(install_path) - utf8_to_utf16(install_path).size();
    return kMaxPathLength - added;
}

Result<void> check_install_path_length(std::string_view install_path) {
    const std::size_t longest = longest_installed_path_length(install_path);
    if (longest <= kMaxPathLength) return {};
    const std::size_t folder = utf8_to_utf16(install_path).size();
    const std::size_t fitting = longest_fitting_install_path(install_path);
    return fail(ErrorKind::InvalidInput,
                "Installation folder too long: " + std::string(install_path) + " (" +
                    std::to_string(folder) + " characters). Paths in it would reach " +
                    std::to_string(longest) + " characters, more than the " +
                    std::to_string(kMaxPathLength) +
                    " that Windows allows programs and shortcuts (MAX_PATH); choose a folder "
                    "of at most " +
                    std::to_string(fitting) + " characters.");
}

std::string start_menu_shortcut_path(std::string_view appdata) {
    std::string path(appdata);
    for (std::string_view part :
         {"Microsoft", "Windows", "Start Menu", "Programs", "Marrowlane.lnk"})
        path = path_join(path, part);
    return path;
}

std::string desktop_shortcut_path(std::string_view userprofile) {
    return path_join(path_join(userprofile, "Desktop"), "Marrowlane.lnk");
}

ComponentChoices decide_components(const InstallOptions& options, bool steam_found) {
    return ComponentChoices{
        .start_menu = options.start_menu.value_or(true),
        .desktop = options.desktop.value_or(true),
        .steam_library = options.steam_library.value_or(steam_found),
    };
}

InstallContext make_install_context(InstallOptions options, std::vector<std::string> steam_roots,
                                    const std::optional<std::string>& local_app_data) {
    const ComponentChoices chosen = decide_components(options, !steam_roots.empty());
    InstallContext context;
    context.steam_enabled = chosen.steam_library;
    context.desktop_enabled = chosen.desktop;
    context.start_menu_enabled = chosen.start_menu;
    context.origin = trim_origin(options.server_origin);
    context.install_path = install_path_for(options.install_dir, local_app_data);
    context.runner_path = path_join(context.install_path, "marrowlane.exe");
    context.icon_path = path_join(context.install_path, "marrowlane.ico");
    context.steam_roots = std::move(steam_roots);
    context.options = std::move(options);
    return context;
}

std::string progress_title(std::string_view game_name) {
    return std::string(game_name) + " Setup";
}

std::string progress_headline(std::string_view game_name) {
    return "Installing " + std::string(game_name);
}

std::string banner_text() {
    return kRule + "\n     Marrowlane - Setup & Steam Library Installer     \n" + kRule + "\n";
}

std::string location_text(const InstallContext& context) {
    return "Server Origin:    " + context.origin +
           "\nInstall Path:     " + debug_quote(context.install_path) + "\n";
}

std::string summary_text(const InstallContext& context) {
    const RunnerState runner = runner_state(context);
    std::string text = "\n" + kRule + "\n";
    switch (runner) {
        case RunnerState::Installed:
            text += "  Installation Completed Successfully!\n";
            break;
        case RunnerState::Missing:
            text += "  Installation Incomplete: marrowlane.exe is missing!\n";
            break;
        case RunnerState::NotUpdated:
            text += "  Installation Incomplete: the running Marrowlane was not updated!\n";
            break;
    }
    if (steam_listed(context)) text += "  - Steam Library shortcut and custom artwork installed\n";
    if (desktop_listed(context)) text += "  - Desktop shortcut created\n";
    if (start_menu_listed(context)) text += "  - Start Menu shortcut created\n";
    if (uninstall_entry_listed(context))
        text += "  - Registered in Windows Settings for 1-click uninstall\n";
    if (runner == RunnerState::Missing) {
        const std::string server = context.origin.empty() ? "the server" : context.origin;
        text += "  [!] Marrowlane cannot start without it: place marrowlane.exe in " +
                debug_quote(context.install_path) + ", or run the setup again once " + server +
                " can be reached.\n";
    } else if (runner == RunnerState::NotUpdated) {
        text +=
            "  [!] The previous marrowlane.exe stays in place: close Marrowlane and run the "
            "setup again.\n";
    }
    return text + kRule + "\n";
}

CompletionBox completion_box(const InstallContext& context) {
    const std::string& name = context.options.game_name;
    const RunnerState runner = runner_state(context);
    CompletionBox box;
    box.title = name + (runner == RunnerState::Installed ? " Setup - Installation Complete"
                                                         : " Setup - Installation Incomplete");
    std::vector<std::string> paragraphs;
    switch (runner) {
        case RunnerState::Installed:
            paragraphs.push_back(name + " has been installed successfully!");
            break;
        case RunnerState::Missing:
            paragraphs.push_back(name +
                                 " has been installed without its runner: marrowlane.exe could "
                                 "not be downloaded, and " +
                                 name + " cannot start until it is there.");
            paragraphs.push_back("Place marrowlane.exe in " + context.install_path +
                                 ", or run the setup again when the distribution server can be "
                                 "reached.");
            break;
        case RunnerState::NotUpdated:
            paragraphs.push_back(name +
                                 " has been installed, but its runner was not updated: Marrowlane "
                                 "was running, so the previous marrowlane.exe stays in place.");
            paragraphs.push_back("Close Marrowlane and run the setup again.");
            break;
    }
    // The box lists Steam third, after the shortcuts, unlike the console summary.
    std::vector<std::string> installed;
    if (desktop_listed(context)) installed.push_back("\u2022 Desktop shortcut created");
    if (start_menu_listed(context)) installed.push_back("\u2022 Start Menu shortcut created");
    if (steam_listed(context))
        installed.push_back("\u2022 Added to Steam Library with custom artwork");
    if (uninstall_entry_listed(context))
        installed.push_back("\u2022 Registered in Windows Settings for 1-click uninstall");
    if (!installed.empty())
        paragraphs.push_back("Installed components:\n" + joined(installed, "\n"));
    // A user without a console learns here why a chosen component is missing.
    const auto& missing = context.not_written;
    std::vector<std::string> not_created;
    if (missing.desktop_shortcut)
        not_created.push_back("\u2022 Desktop shortcut: " + *missing.desktop_shortcut);
    if (missing.start_menu_shortcut)
        not_created.push_back("\u2022 Start Menu shortcut: " + *missing.start_menu_shortcut);
    if (missing.uninstall_entry)
        not_created.push_back("\u2022 Uninstall entry in Windows Settings: " +
                              *missing.uninstall_entry);
    if (!not_created.empty()) paragraphs.push_back("Not created:\n" + joined(not_created, "\n"));
    box.text = joined(paragraphs, "\n\n");
    box.warning = runner != RunnerState::Installed || !not_created.empty();
    return box;
}

}  // namespace ml
