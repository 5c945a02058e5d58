// installstep [INSTALLER OPTIONS...]
//
// Runs the installation with the options as Marrowlane-Setup.exe would, but with stages that
// only announce themselves on standard error ("stage NAME") and then wait for one line on
// standard input: "fail" makes the stage return an error, any other line (or the end of
// input) lets the run go on. A test can so hold the run between steps and look at its real
// windows. Exit status and error line as the setup's own.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <variant>
#include <vector>

#include "cli/options.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"
#include "runs/win32/install_stages.hpp"
#include "support/named_stages.hpp"
#include "win_gui/win32/console_attach.hpp"

namespace {

ml::InstallStages::Stage gate(std::string name) {
    return [name](const ml::InstallContext&) -> ml::Result<void> {
        ml::err("stage " + name + "\n");
        const auto line = ml::read_stdin_line();
        if (line && *line == "fail")
            return ml::fail(ml::ErrorKind::Other, "stage " + name + " failed");
        return {};
    };
}

}  // namespace

int wmain() {
    ml::attach_console();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ml::narrow(argv[i]));

    auto mode = ml::parse_cli_args_from(args, ml::env_var);
    if (!mode || !std::holds_alternative<ml::RunMode::Install>(mode->mode)) {
        ml::err("installstep: the arguments must ask for an installation\n");
        return 2;
    }
    const ml::InstallStages stages = ml::testing::stages_named(gate);

    auto options = std::get<ml::RunMode::Install>(std::move(mode->mode)).options;
    const auto result = ml::run_installer_with(std::move(options), stages);
    if (result) return 0;
    ml::err("Error: " + result.error().debug() + "\n");
    return 1;
}
