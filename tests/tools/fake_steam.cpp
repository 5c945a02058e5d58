// A stand-in for steam.exe, copied into a test's Steam folder under that name.
//
// Started without "-shutdown" it is "the client": it runs until a later start of
// `steam.exe -shutdown` asks it to exit (as the real client does through its own channel;
// here a named event), then exits with status 0. With FAKESTEAM_IGNORE_SHUTDOWN=1 it ignores
// that request, so only a kill ends it. With FAKESTEAM_SHUTDOWN_DELAY_MS it takes that long to
// close after the request, as the real client does while its web helpers and cloud sync
// finish. With FAKESTEAM_UNKILLABLE=1 no other process may end it (its process object denies
// PROCESS_TERMINATE to everyone), as a Steam started as administrator looks to a standard
// user's setup; with FAKESTEAM_PRIVATE=1 no other process may open it at all, as another
// Windows user's Steam looks to a standard user's setup. It never runs longer than
// FAKESTEAM_LIFETIME_MS (default 60000), so that no test can leave it behind for long, and
// `steam.exe -testquit` ends every client at once (logging nothing itself).
//
// Each start appends "start PID EXE ARGS" to the file in FAKESTEAM_LOG, then "cwd PID DIR"
// (its current folder), "parent PID NAME" (the image that started it) and "token PID
// elevated|limited". The client appends "closing PID" when a request arrives it obeys,
// "exit PID shutdown", "exit PID quit" or "exit PID lifetime" when it ends by itself, and
// "ignored PID shutdown" for each request it ignores. With FAKESTEAM_HANG_SHUTDOWN=1 a start
// with "-shutdown" hangs, as the request to a hung client does, until its lifetime is over
// ("exit PID hung" then). With FAKESTEAM_WATCH naming a file, the client first appends
// "watch PID SIZE" (or "watch PID missing") when it ends by request, so that a test can see
// what that file held while Steam was still running.
//
// A start through the desktop shell does not get the environment of whoever asked for it:
// each variable above that is unset is then read from "fakesteam.env" beside the program
// (NAME=VALUE lines), which the test writes.
#include <windows.h>

#include <aclapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

#include "fake_log.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace {

constexpr wchar_t kShutdownEvent[] = L"MarrowlaneTestFakeSteamShutdown";
constexpr wchar_t kQuitEvent[] = L"MarrowlaneTestFakeSteamQuit";

void log(const std::string& line) {
    ml::testing::append_log_line("FAKESTEAM_LOG", line);
}

bool env_is(const char* name, std::string_view value) {
    return ml::env_var(name).value_or("") == value;
}

// Sets each variable of fakesteam.env beside the program that is not set already.
void read_settings_file(const std::string& exe) {
    const auto text = ml::read_file(ml::path_join(ml::path_parent(exe), "fakesteam.env"));
    if (!text) return;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::wstring name = ml::widen(line.substr(0, eq));
        if (GetEnvironmentVariableW(name.c_str(), nullptr, 0) == 0)
            SetEnvironmentVariableW(name.c_str(), ml::widen(line.substr(eq + 1)).c_str());
    }
}

// The image name of the process that started this one; "?" when it is gone.
std::string parent_name() {
    ml::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return "?";
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == parent) return ml::narrow(entry.szExeFile);
    }
    return "?";
}

bool runs_elevated() {
    ml::UniqueHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
           GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// Denies `denied` to everyone (and grants the rest), so that opening the process for it from
// another process fails with "access denied".
bool refuse_access(DWORD denied) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    EXPLICIT_ACCESSW rules[2] = {};
    for (EXPLICIT_ACCESSW& rule : rules) {
        rule.grfInheritance = NO_INHERITANCE;
        rule.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        rule.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        rule.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    }
    rules[0].grfAccessPermissions = denied;
    rules[0].grfAccessMode = DENY_ACCESS;
    rules[1].grfAccessPermissions = PROCESS_ALL_ACCESS & ~denied;
    rules[1].grfAccessMode = GRANT_ACCESS;
    PACL acl = nullptr;
    bool done = SetEntriesInAclW(2, rules, nullptr, &acl) == ERROR_SUCCESS &&
                SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
    if (acl) LocalFree(acl);
    FreeSid(everyone);
    return done;
}

// Sets the named event if some client created it.
void signal(const wchar_t* name) {
    ml::UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (event) SetEvent(event.get());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    read_settings_file(ml::narrow(exe));
    const std::string pid = std::to_string(GetCurrentProcessId());
    std::string line = "start " + pid + " " + ml::debug_quote(ml::narrow(exe));
    bool shutdown = false;
    bool quit = false;
    for (int i = 1; i < argc; ++i) {
        line += " " + ml::debug_quote(ml::narrow(argv[i]));
        shutdown = shutdown || std::wstring_view(argv[i]) == L"-shutdown";
        quit = quit || std::wstring_view(argv[i]) == L"-testquit";
    }
    // The tests' own clean-up leaves no trace in the log.
    if (quit) {
        signal(kQuitEvent);
        return 0;
    }
    // A client is ready for a request before its start is in the log: a test that has seen
    // the line may ask it to close at once, and the request finds no one if the events do not
    // exist yet.
    const bool client = !shutdown;
    const bool unkillable =
        client && env_is("FAKESTEAM_UNKILLABLE", "1") && refuse_access(PROCESS_TERMINATE);
    const bool hidden =
        client && env_is("FAKESTEAM_PRIVATE", "1") && refuse_access(PROCESS_ALL_ACCESS);
    ml::UniqueHandle event(client ? CreateEventW(nullptr, TRUE, FALSE, kShutdownEvent) : nullptr);
    ml::UniqueHandle quit_event(client ? CreateEventW(nullptr, TRUE, FALSE, kQuitEvent) : nullptr);
    log(line);
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    log("cwd " + pid + " " + ml::debug_quote(ml::narrow(cwd)));
    log("parent " + pid + " " + parent_name());
    log("token " + pid + (runs_elevated() ? " elevated" : " limited"));

    const auto lifetime = ml::env_var("FAKESTEAM_LIFETIME_MS");
    const DWORD limit = lifetime ? static_cast<DWORD>(std::stoul(*lifetime)) : 60000;
    if (shutdown && env_is("FAKESTEAM_HANG_SHUTDOWN", "1")) {
        Sleep(limit);
        log("exit " + pid + " hung");
        return 4;
    }
    if (shutdown) {
        signal(kShutdownEvent);
        return 0;
    }

    if (unkillable) log("unkillable " + pid);
    if (hidden) log("private " + pid);
    const bool ignore = env_is("FAKESTEAM_IGNORE_SHUTDOWN", "1");
    const auto delay = ml::env_var("FAKESTEAM_SHUTDOWN_DELAY_MS");
    const ULONGLONG deadline = GetTickCount64() + limit;
    const HANDLE events[] = {event.get(), quit_event.get()};
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD left = static_cast<DWORD>(deadline - now);
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, left);
        if (woke == WAIT_OBJECT_0 + 1) {
            log("exit " + pid + " quit");
            return 5;
        }
        if (woke != WAIT_OBJECT_0) continue;
        if (ignore) {
            log("ignored " + pid + " shutdown");
            ResetEvent(event.get());
            continue;
        }
        log("closing " + pid);
        if (delay) Sleep(static_cast<DWORD>(std::stoul(*delay)));
        if (const auto watched = ml::env_var("FAKESTEAM_WATCH")) {
            const auto size = ml::file_size(*watched);
            log("watch " + pid + " " + (size ? std::to_string(*size) : "missing"));
        }
        log("exit " + pid + " shutdown");
        return 0;
    }
    log("exit " + pid + " lifetime");
    return 3;
}
