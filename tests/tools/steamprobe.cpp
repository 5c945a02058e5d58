// steamprobe: calls one operation of the Steam module or the process runner, so that tests
// can run it under Wine with the environment and working folder they choose. Like the
// product, it is a windowed program. One result per line on standard output:
//
//   steamprobe roots [OVERRIDE]      each root
//   steamprobe users ROOT            each account folder
//   steamprobe running               "true" or "false"
//   steamprobe close                 "elapsed_ms N"
//   steamprobe restart [ROOT...]     nothing
//   steamprobe fetch SOURCE DEST     the progress line; on failure "error KIND: MESSAGE"
//   steamprobe run [--capture|--inherit] [--nowait] [--tail TEXT] PROGRAM [ARGS...]
//                                    "exit N" (or "started"), then with --capture
//                                    "out DEBUG-FORM" and "err DEBUG-FORM";
//                                    on failure "start error OS-CODE: MESSAGE"
//   steamprobe spawn-plain PROGRAM [ARGS...]
//                                    starts PROGRAM the ordinary way (a console program
//                                    gets a console window) and waits; the control case
//                                    for the hidden-window test
//
// Exit status 0, 1 when the operation failed, 2 for a usage error.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/cmdline.hpp"
#include "platform/console.hpp"
#include "platform/handle.hpp"
#include "platform/process.hpp"
#include "platform/text.hpp"
#include "platform/win32.hpp"
#include "steam/discovery.hpp"
#include "steam/fetch.hpp"
#include "steam/process_control.hpp"

namespace {

using Args = std::vector<std::string>;

void print_lines(const Args& lines) {
    for (const std::string& line : lines) ml::out(line + "\n");
}

int run(Args args) {
    ml::ChildOptions options;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        if (args[i] == "--capture") {
            options.output = ml::ChildOutput::Capture;
        } else if (args[i] == "--inherit") {
            options.output = ml::ChildOutput::Inherit;
        } else if (args[i] == "--nowait") {
            options.wait = false;
        } else if (args[i] == "--tail" && i + 1 < args.size()) {
            options.raw_tail = args[++i];
        } else {
            return 2;
        }
    }
    if (i >= args.size()) return 2;
    const Args child_args(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    auto result = ml::run_child(args[i], child_args, options);
    if (!result) {
        ml::out("start error " + std::to_string(result.error().os_code) + ": " +
                result.error().message + "\n");
        return 1;
    }
    ml::out(result->exit_code ? "exit " + std::to_string(*result->exit_code) + "\n"
                              : std::string("started\n"));
    if (options.output == ml::ChildOutput::Capture) {
        ml::out("out " + ml::debug_quote(result->out) + "\n");
        ml::out("err " + ml::debug_quote(result->err) + "\n");
    }
    return 0;
}

int spawn_plain(const Args& args) {
    if (args.empty()) return 2;
    auto line = ml::join_command_line(args[0], Args(args.begin() + 1, args.end()));
    if (!line) return 2;
    std::wstring command_line = ml::widen(*line);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        return 1;
    }
    ml::UniqueHandle process(pi.hProcess);
    ml::UniqueHandle thread(pi.hThread);
    WaitForSingleObject(process.get(), 30000);
    return 0;
}

int dispatch(const std::string& command, const Args& rest) {
    if (command == "roots" && rest.size() <= 1) {
        print_lines(ml::detect_steam_roots(rest.empty() ? std::nullopt
                                                        : std::optional<std::string>(rest[0])));
    } else if (command == "users" && rest.size() == 1) {
        print_lines(ml::find_userdata_dirs(rest[0]));
    } else if (command == "running" && rest.empty()) {
        ml::out(ml::is_steam_running() ? "true\n" : "false\n");
    } else if (command == "close" && rest.empty()) {
        const auto start = std::chrono::steady_clock::now();
        ml::close_steam_process();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        ml::out("elapsed_ms " + std::to_string(ms.count()) + "\n");
    } else if (command == "restart") {
        ml::restart_steam_process(rest);
    } else if (command == "fetch" && rest.size() == 2) {
        auto done = ml::download_or_copy(rest[0], rest[1]);
        if (!done) {
            ml::out("error " + std::string(ml::kind_name(done.error().kind)) + ": " +
                    done.error().message + "\n");
            return 1;
        }
    } else if (command == "run") {
        return run(rest);
    } else if (command == "spawn-plain") {
        return spawn_plain(rest);
    } else {
        return 2;
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    Args args;
    for (int i = 1; i < argc; ++i) args.push_back(ml::narrow(argv[i]));
    if (args.empty()) return 2;
    return dispatch(args[0], Args(args.begin() + 1, args.end()));
}
