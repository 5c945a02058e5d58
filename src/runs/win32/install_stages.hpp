#pragma once

// The stages of an installation and the pipeline that runs them in order. Each stage reads
// the shared working values; an error it returns ends the installation (only writing
// config.json and copying a found local runner may do so; every other stage handles its
// failures itself and returns success).
#include <functional>

#include "cli/options.hpp"
#include "platform/error.hpp"
#include "runs/install_context.hpp"

namespace ml {

// Application files, step 1: config.json in the installation folder (fatal on failure).
Result<void> write_config_file(const InstallContext& context);
// Application files, step 2: the runner, from a local build or the server (a failed copy
// of a local runner is fatal).
Result<void> deploy_runner(const InstallContext& context);
// Application files, step 3: WebView2Loader.dll, local, downloaded or the built-in copy.
Result<void> deploy_webview2_loader(const InstallContext& context);
// Application files, steps 4 and 5: the two icon files, then the setup's own copy.
Result<void> deploy_icons_and_setup_copy(const InstallContext& context);
// Steam library: the shortcut and artwork in every account, Steam closed and restarted.
Result<void> register_in_steam_library(const InstallContext& context);
// Windows shortcuts: Start Menu and Desktop .lnk files as chosen.
Result<void> create_windows_shortcuts(const InstallContext& context);
// Uninstall registration: the entry in Windows Settings (Installed Apps).
Result<void> register_uninstaller(const InstallContext& context);

// The stage functions the pipeline calls, one member per place in the pipeline.
struct InstallStages {
    using Stage = std::function<Result<void>(const InstallContext&)>;
    Stage write_config = write_config_file;
    Stage deploy_runner = ml::deploy_runner;
    Stage deploy_webview2_loader = ml::deploy_webview2_loader;
    Stage deploy_icons_and_setup_copy = ml::deploy_icons_and_setup_copy;
    Stage register_in_steam_library = ml::register_in_steam_library;
    Stage create_windows_shortcuts = ml::create_windows_shortcuts;
    Stage register_uninstaller = ml::register_uninstaller;
};

// The installation with the given stages: Steam roots, options dialog, progress window,
// banner, installation folder, the stages in order with their progress steps, summary and
// the final message box or prompt. run_installer is this with the real stages; tests pass
// stages of their own. A cancelled dialog is a success.
Result<void> run_installer_with(InstallOptions options, const InstallStages& stages);

}  // namespace ml
