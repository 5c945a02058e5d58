// A stand-in for steam.exe, copied into a test's Steam folder under that name.
//
// Started without "-shutdown" it is "the client": it runs until a later start of
// `steam.exe -shutdown` asks it to exit (as the real client does through its own channel;
// here a named event), then exits with status 0. With FAKESTEAM_IGNORE_SHUTDOWN=1 it ignores
// that request, so only a kill ends it. It never runs longer than FAKESTEAM_LIFETIME_MS
// (default 60000), so that no test can leave it behind for long.
//
// Each start appends "start PID EXE ARGS" to the file in FAKESTEAM_LOG, and the client
// appends "exit PID shutdown" or "exit PID lifetime" when it ends by itself, and
// "ignored PID shutdown" for each request it ignores. Each start also appends "cwd PID DIR",
// its current folder. With FAKESTEAM_HANG_SHUTDOWN=1 a start with "-shutdown" hangs, as the
// request to a hung client does, until its lifetime is over ("exit PID hung" then). With FAKESTEAM_WATCH
// naming a file, the client first appends "watch PID SIZE" (or "watch PID missing") when it
// ends by request, so that a test can see what that file held while Steam was still running.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "fake_log.hpp"
#include "platform/env.hpp"
#include "platform/files.hpp"
#include "platform/handle.hpp"
#include "platform/text.hpp"
#include "platform/win32.hpp"

namespace {

constexpr wchar_t kShutdownEvent[] = L"MarrowlaneTestFakeSteamShutdown";

void log(const std::string& line) {
    ml::testing::append_log_line("FAKESTEAM_LOG", line);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::string pid = std::to_string(GetCurrentProcessId());
    std::string line = "start " + pid + " " + ml::debug_quote(ml::narrow(exe));
    bool shutdown = false;
    for (int i = 1; i < argc; ++i) {
        line += " " + ml::debug_quote(ml::narrow(argv[i]));
        shutdown = shutdown || std::wstring_view(argv[i]) == L"-shutdown";
    }
    log(line);
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    log("cwd " + pid + " " + ml::debug_quote(ml::narrow(cwd)));

    const auto lifetime = ml::env_var("FAKESTEAM_LIFETIME_MS");
    const DWORD limit = lifetime ? static_cast<DWORD>(std::stoul(*lifetime)) : 60000;
    if (shutdown && ml::env_var("FAKESTEAM_HANG_SHUTDOWN").value_or("") == "1") {
        Sleep(limit);
        log("exit " + pid + " hung");
        return 4;
    }
    if (shutdown) {
        ml::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, kShutdownEvent));
        if (event) SetEvent(event.get());
        return 0;
    }

    ml::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, kShutdownEvent));
    const bool ignore = ml::env_var("FAKESTEAM_IGNORE_SHUTDOWN").value_or("") == "1";
    const ULONGLONG deadline = GetTickCount64() + limit;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD left = static_cast<DWORD>(deadline - now);
        if (WaitForSingleObject(event.get(), left) == WAIT_OBJECT_0) {
            if (!ignore) {
                if (const auto watched = ml::env_var("FAKESTEAM_WATCH")) {
                    const auto size = ml::file_size(*watched);
                    log("watch " + pid + " " + (size ? std::to_string(*size) : "missing"));
                }
                log("exit " + pid + " shutdown");
                return 0;
            }
            log("ignored " + pid + " shutdown");
            ResetEvent(event.get());
        }
    }
    log("exit " + pid + " lifetime");
    return 3;
}
