// steamprobe: calls one operation of the Steam module or the process runner, so that tests
// can run it under Wine with the environment and working folder they choose. Like the
// product, it is a windowed program. One result per line on standard output:
//
//   steamprobe roots [OVERRIDE]      each root
//   steamprobe users ROOT            each account folder
//   steamprobe running               "true" or "false"
//   steamprobe close                 "closed" or "still running", then "elapsed_ms N"
//   steamprobe restart [ROOT...]     "started" or "left closed"
//   steamprobe elevation             "elevated 0|1 split 0|1 shell 0|1 same user 0|1" or
//                                    "... shell none": this process's token, and the
//                                    desktop shell's elevation and user
//   steamprobe shellstart FILE [DIR] the desktop shell opens FILE (in DIR): "started",
//                                    "failed" or "no shell"
//   steamprobe fetch [--image|--executable] SOURCE DEST
//                                    the progress line; on failure "error KIND: MESSAGE";
//                                    a download must pass the named content check
//   steamprobe run [--capture|--inherit] [--nowait] [--tail TEXT] PROGRAM [ARGS...]
//                                    "exit N" (or "started"), then with --capture
//                                    "out DEBUG-FORM" and "err DEBUG-FORM";
//                                    on failure "start error OS-CODE: MESSAGE"
//   steamprobe lnk FILE              the shortcut read back through the shell link
//                                    interface: "target", "workdir", "args", "icon" lines,
//                                    each with a debug form ("icon" adds ",INDEX")
//   steamprobe regvalues SUBKEY      the values of HKCU\SUBKEY in the registry's order:
//                                    "NAME REG_SZ DEBUG-FORM" or "NAME REG_DWORD N"
//   steamprobe regvolatile SUBKEY    makes HKCU\SUBKEY (which must not exist yet) a volatile
//                                    key, below which no lasting key can be created
//   steamprobe spawn-plain PROGRAM [ARGS...]
//                                    starts PROGRAM the ordinary way (a console program
//                                    gets a console window) and waits; the control case
//                                    for the hidden-window test
//
// Exit status 0, 1 when the operation failed, 2 for a usage error.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cmdline.hpp"
#include "platform/win32/com.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/desktop_shell.hpp"
#include "platform/win32/executable.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/process.hpp"
#include "platform/win32/shell_link.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"
#include "steam/win32/discovery.hpp"
#include "steam/win32/fetch.hpp"
#include "steam/win32/process_control.hpp"

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

int print_shell_link(const std::string& path) {
    const ml::ComScope com;
    auto link = ml::load_shell_link(path);
    if (!link) {
        ml::out("error " + link.error().display() + "\n");
        return 1;
    }
    ml::out("target " + ml::debug_quote(link->target) + "\nworkdir " +
            ml::debug_quote(link->working_folder) + "\nargs " + ml::debug_quote(link->arguments) +
            "\nicon " + ml::debug_quote(link->icon_file) + "," + std::to_string(link->icon_index) +
            "\n");
    return 0;
}

int make_volatile_key(const std::string& subkey) {
    ml::UniqueKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, ml::widen(subkey).c_str(), 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_READ, nullptr, key.put(),
                        &disposition) != ERROR_SUCCESS)
        return 1;
    // An existing key stays as lasting as it was.
    return disposition == REG_CREATED_NEW_KEY ? 0 : 1;
}

int print_registry_values(const std::string& subkey) {
    ml::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ml::widen(subkey).c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        ml::out("missing\n");
        return 1;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_size = 256;
        BYTE data[8192];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key.get(), index, name, &name_size, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS)
            break;
        std::string line = ml::narrow(std::wstring_view(name, name_size));
        if (type == REG_SZ) {
            std::wstring_view text(reinterpret_cast<const wchar_t*>(data), data_size / 2);
            if (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
            line += " REG_SZ " + ml::debug_quote(ml::narrow(text));
        } else if (type == REG_DWORD && data_size == 4) {
            DWORD value = 0;
            std::memcpy(&value, data, 4);
            line += " REG_DWORD " + std::to_string(value);
        } else {
            line += " type " + std::to_string(type);
        }
        ml::out(line + "\n");
    }
    return 0;
}

int shell_start(const std::string& file, const std::string& folder) {
    const ml::ShellStartOutcome outcome = ml::start_through_desktop_shell(file, folder);
    switch (outcome) {
        case ml::ShellStartOutcome::Started:
            ml::out("started\n");
            break;
        case ml::ShellStartOutcome::Failed:
            ml::out("failed\n");
            break;
        case ml::ShellStartOutcome::NoShell:
            ml::out("no shell\n");
            break;
    }
    return outcome == ml::ShellStartOutcome::Started ? 0 : 1;
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
        ml::out(ml::close_steam_process() ? "closed\n" : "still running\n");
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        ml::out("elapsed_ms " + std::to_string(ms.count()) + "\n");
    } else if (command == "restart") {
        const bool started = ml::restart_steam_process(rest) == ml::SteamRestart::Started;
        ml::out(started ? "started\n" : "left closed\n");
    } else if (command == "elevation" && rest.empty()) {
        const ml::ProcessElevation token = ml::current_token_elevation();
        const auto shell = ml::desktop_shell_token();
        ml::out("elevated " + std::to_string(token.elevated) + " split " +
                std::to_string(token.split_token) + " shell " +
                (shell ? std::to_string(shell->elevated) + " same user " +
                             std::to_string(shell->same_user)
                       : std::string("none")) +
                "\n");
    } else if (command == "shellstart" && (rest.size() == 1 || rest.size() == 2)) {
        return shell_start(rest[0], rest.size() == 2 ? rest[1] : std::string());
    } else if (command == "fetch" && (rest.size() == 2 || rest.size() == 3)) {
        ml::ContentCheck check;
        if (rest.size() == 3) {
            if (rest[0] == "--image") {
                check = ml::is_image_file;
            } else if (rest[0] == "--executable") {
                check = ml::is_valid_executable_for_platform;
            } else {
                return 2;
            }
        }
        const std::size_t at = rest.size() - 2;
        auto done = ml::download_or_copy(rest[at], rest[at + 1], check);
        if (!done) {
            ml::out("error " + std::string(ml::kind_name(done.error().kind)) + ": " +
                    done.error().message + "\n");
            return 1;
        }
    } else if (command == "run") {
        return run(rest);
    } else if (command == "lnk" && rest.size() == 1) {
        return print_shell_link(rest[0]);
    } else if (command == "regvalues" && rest.size() == 1) {
        return print_registry_values(rest[0]);
    } else if (command == "regvolatile" && rest.size() == 1) {
        return make_volatile_key(rest[0]);
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
