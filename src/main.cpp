// Entry of Marrowlane-Setup.exe: arguments in, one run, exit status out.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "build_config.hpp"
#include "cli/options.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/system_library.hpp"
#include "platform/win32/win32.hpp"
#include "runs/win32/runs.hpp"
#include "win_gui/win32/console_attach.hpp"

namespace {

// The arguments after the program name, as UTF-8 (unpaired surrogates become U+FFFD, so
// no argument can make the program fail).
std::vector<std::string> command_line_arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return args;
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    for (int i = 1; i < count; ++i) args.push_back(ml::narrow(argv[i]));
    return args;
}

int finish(const ml::Result<void>& result) {
    if (result) return 0;
    ml::err("Error: " + result.error().debug() + "\n");
    return 1;
}

int run_program() {
    const std::vector<std::string> args = command_line_arguments();
    auto mode = ml::parse_cli_args_from(args, ml::env_var);
    // The removal after an uninstallation outlives the console it was started from, and
    // says nothing: attached, it would keep that console's window from closing.
    if (!mode || !std::holds_alternative<ml::RunMode::RemoveLeftovers>(mode->mode))
        ml::attach_console();
    if (!mode) {
        ml::err("Error: " + mode.error().message() + "\n\n");
        ml::out(ml::help_text(ml::build::kDefaultServerOrigin));
        return finish(std::unexpected(mode.error().to_error()));
    }

    return std::visit(
        [](auto&& chosen) -> int {
            using T = std::decay_t<decltype(chosen)>;
            if constexpr (std::is_same_v<T, ml::RunMode::Help>) {
                ml::out(ml::help_text(ml::build::kDefaultServerOrigin));
                return 0;
            } else if constexpr (std::is_same_v<T, ml::RunMode::Install>) {
                return finish(ml::run_installer(std::move(chosen.options)));
            } else if constexpr (std::is_same_v<T, ml::RunMode::Uninstall>) {
                return finish(ml::run_uninstaller(chosen.non_interactive, chosen.cli));
            } else if constexpr (std::is_same_v<T, ml::RunMode::RemoveLeftovers>) {
                return finish(ml::run_leftover_removal(chosen.removal));
            } else {
                return finish(ml::run_gridloom(std::move(chosen.options)));
            }
        },
        std::move(mode->mode));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: from here on none comes from the program's own
    // folder (a Downloads folder, say) or the current one, COM's and the shell's included.
    ml::load_libraries_from_system_folder_only();
    // Failures are results everywhere, but the standard library reports two things by
    // exception: memory running out (a huge file, a failing machine) and a thread that the
    // system refuses to start (the progress window's, or a download's). Either ends the run
    // with one line and a failure status instead of terminate()'s message.
    try {
        return run_program();
    } catch (const std::bad_alloc&) {
        ml::err("Error: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        ml::err(std::string("Error: ") + e.what() + "\n");
        return 1;
    }
}
