#pragma once

// The installer's rules and console texts that need no operating system: origin and folder
// rules, component defaults, progress steps, banner, summary and completion message.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "platform/error.hpp"
#include "runs/install_context.hpp"

namespace ml {

// The three components in the order the options dialog returns them.
struct ComponentChoices {
    bool start_menu = true;
    bool desktop = true;
    bool steam_library = false;

    friend bool operator==(const ComponentChoices&, const ComponentChoices&) = default;
};

// One position of the progress window: bar value and status line.
struct ProgressStep {
    std::uint32_t percent;
    std::string_view text;
};

// The progress window's steps, in the order the pipeline reaches them.
namespace install_steps {
inline constexpr ProgressStep kPreparing{10, "Preparing installation folder..."};
inline constexpr ProgressStep kConfiguration{20, "Writing configuration files..."};
inline constexpr ProgressStep kRunner{35, "Deploying application runner..."};
inline constexpr ProgressStep kWebView2{48, "Deploying WebView2 runtime libraries..."};
inline constexpr ProgressStep kIcons{60, "Configuring application icons..."};
inline constexpr ProgressStep kSteam{72, "Configuring Steam library and artwork..."};
inline constexpr ProgressStep kShortcuts{88, "Creating Start Menu & Desktop shortcuts..."};
inline constexpr ProgressStep kRegistration{96, "Registering uninstaller in Windows Settings..."};
inline constexpr ProgressStep kComplete{100, "Installation complete!"};
}  // namespace install_steps

// server_origin without any trailing '/' (a text of slashes only becomes empty); a trailing
// backslash stays.
std::string trim_origin(std::string_view server_origin);

// The installation folder: install_dir unchanged when given and not empty; otherwise
// LOCALAPPDATA joined
// with "Marrowlane", where an unset (nullopt) or empty LOCALAPPDATA is replaced by
// C:\Marrowlane.
std::string install_path_for(const std::optional<std::string>& install_dir,
                             const std::optional<std::string>& local_app_data);

// The components as decided so far: a choice given on the command line (or by the dialog)
// wins; otherwise both shortcuts are wanted and Steam is wanted when a root was found. Also
// the options dialog's initial check states.
ComponentChoices decide_components(const InstallOptions& options, bool steam_found);

// The working values of a run from its options (choices already final), the Steam roots
// found and the value of LOCALAPPDATA (nullopt when unset or not valid Unicode).
InstallContext make_install_context(InstallOptions options, std::vector<std::string> steam_roots,
                                    const std::optional<std::string>& local_app_data);

// The progress window's caption and headline for a game name.
std::string progress_title(std::string_view game_name);
std::string progress_headline(std::string_view game_name);

// The three banner lines printed when the work starts.
std::string banner_text();

// The "Server Origin:" and "Install Path:" lines (the path in debug form).
std::string location_text(const InstallContext& context);

// The console summary: chosen components, so a dry run lists them too, less what the stages
// found was not written (the Steam library when nothing reached an account, a shortcut or the
// uninstall entry that could not be written); a missing or not updated runner changes the
// headline and adds what to do.
std::string summary_text(const InstallContext& context);

// The completion message box: caption, text and whether it warns (its icon).
struct CompletionBox {
    std::string title;
    std::string text;
    bool warning = false;
};

// The box at the end of a windowed installation, on the same rules as the summary; it also
// names what was chosen but not created, and why.
CompletionBox completion_box(const InstallContext& context);

// The product's uninstall entry, below HKEY_CURRENT_USER.
inline constexpr std::string_view kUninstallSubkey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marrowlane";

// The files the installation puts into its folder, apart from the setup's own copy, in the
// order the uninstaller removes them.
inline constexpr std::array<std::string_view, 5> kApplicationFiles = {
    "marrowlane.exe", "WebView2Loader.dll", "marrowlane.ico", "marrowlane.png", "config.json"};

// The setup's own copy in the installation folder, which the uninstall entry starts.
inline constexpr std::string_view kSetupCopyName = "Marrowlane-Setup.exe";

// The most a temporary file beside an installed file adds to its name while it is written:
// ".download-<process id>-<count>.tmp", both numbers at their longest (ten digits each).
inline constexpr std::size_t kTemporarySuffixMaxLength = 35;

// The longest path, without its terminating NUL, that a program without long-path support can
// use (MAX_PATH is 260 with it). Neither the runner nor the shell that starts a shortcut nor
// Windows Settings that starts the uninstaller is long-path aware.
inline constexpr std::size_t kMaxPathLength = 259;

// The length in UTF-16 characters, as Windows counts a path, of the longest path the
// installation writes into install_path: the longest name among the application files and the
// setup's copy, with the longest temporary suffix.
std::size_t longest_installed_path_length(std::string_view install_path);

// The most UTF-16 characters a folder like install_path (with or without its trailing
// separator) may have for every path the installation writes into it to fit kMaxPathLength.
std::size_t longest_fitting_install_path(std::string_view install_path);

// Success when every path the installation writes into install_path fits kMaxPathLength;
// otherwise an InvalidInput error naming the folder, the limit and the longest folder that fits.
Result<void> check_install_path_length(std::string_view install_path);

// The Start Menu shortcut for a value of APPDATA, and the Desktop shortcut for a value of
// USERPROFILE (both named Marrowlane.lnk).
std::string start_menu_shortcut_path(std::string_view appdata);
std::string desktop_shortcut_path(std::string_view userprofile);

// The line printed when the user cancels the options dialog.
inline constexpr std::string_view kCancelledLine = "[*] Installation cancelled by user.\n";

// The prompt of a terminal run before it waits for one line of input.
inline constexpr std::string_view kPressEnterPrompt = "\nPress Enter to finish...";

}  // namespace ml
