// envrun [--set NAME=VALUE] [--unset NAME] [--cwd DIR] [--limited] ... -- PROGRAM [ARGS...]
//
// Wine rewrites LOCALAPPDATA, APPDATA, USERPROFILE, TEMP and PATH from its profile and
// passes no HOME, and a shell cannot hand a Windows program an empty variable. This tool
// sets, empties or removes variables inside Windows, then starts the program with the same
// standard handles and returns its exit status (127 when it cannot be started).
//
// --limited starts the program with the normal (limited) token linked to ours, as Windows
// starts a program of an administrator who did not choose "Run as administrator". Wine
// gives every program an elevated token with such a linked one.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/cmdline.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

namespace {

// A primary token made from the limited token linked to ours; empty when there is none.
ml::UniqueHandle limited_token() {
    ml::UniqueHandle ours;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, ours.put())) return {};
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!GetTokenInformation(ours.get(), TokenLinkedToken, &linked, sizeof linked, &size))
        return {};
    ml::UniqueHandle owner(linked.LinkedToken);
    ml::UniqueHandle primary;
    if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                          TokenPrimary, primary.put()))
        return {};
    return primary;
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    std::wstring cwd;
    bool limited = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--") {
            ++i;
            break;
        }
        if (a == L"--limited") {
            limited = true;
            continue;
        }
        if (i + 1 >= argc) {
            ml::err("envrun: missing value after " + ml::narrow(a) + "\n");
            return 127;
        }
        const std::wstring value = argv[++i];
        if (a == L"--set") {
            const auto eq = value.find(L'=');
            if (eq == std::wstring::npos) {
                ml::err("envrun: --set needs NAME=VALUE\n");
                return 127;
            }
            SetEnvironmentVariableW(value.substr(0, eq).c_str(), value.substr(eq + 1).c_str());
        } else if (a == L"--unset") {
            SetEnvironmentVariableW(value.c_str(), nullptr);
        } else if (a == L"--cwd") {
            cwd = value;
        } else {
            ml::err("envrun: unknown option " + ml::narrow(a) + "\n");
            return 127;
        }
    }
    if (i >= argc) {
        ml::err("envrun: no program given\n");
        return 127;
    }
    std::vector<std::string> args;
    for (int k = i + 1; k < argc; ++k) args.push_back(ml::narrow(argv[k]));
    auto line = ml::join_command_line(ml::narrow(argv[i]), args);
    if (!line) {
        ml::err("envrun: " + line.error().message + "\n");
        return 127;
    }
    std::wstring command_line = ml::widen(*line);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE* slots[] = {&si.hStdInput, &si.hStdOutput, &si.hStdError};
    for (int k = 0; k < 3; ++k) {
        HANDLE h = GetStdHandle(streams[k]);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        *slots[k] = h;
    }
    ml::UniqueHandle token;
    if (limited) {
        token = limited_token();
        if (!token) {
            ml::err("envrun: no limited token: " + ml::last_os_error().display() + "\n");
            return 127;
        }
    }
    const wchar_t* folder = cwd.empty() ? nullptr : cwd.c_str();
    const auto start = [&](const wchar_t* application, PROCESS_INFORMATION& info) {
        if (token)
            return CreateProcessAsUserW(token.get(), application, command_line.data(), nullptr,
                                        nullptr, TRUE, 0, nullptr, folder, &si, &info);
        return CreateProcessW(application, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              folder, &si, &info);
    };
    PROCESS_INFORMATION pi{};
    if (!start(argv[i], pi)) {
        // Not found as given: let Windows search for it like a command would.
        if (!start(nullptr, pi)) {
            ml::err("envrun: cannot start " + ml::narrow(argv[i]) + ": " +
                    ml::last_os_error().display() + "\n");
            return 127;
        }
    }
    ml::UniqueHandle process(pi.hProcess);
    ml::UniqueHandle thread(pi.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}
