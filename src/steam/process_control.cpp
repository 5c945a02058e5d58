#include "steam/process_control.hpp"

#include <windows.h>

#include <tlhelp32.h>
#include <wtsapi32.h>

#include <cstdint>
#include <optional>
#include <thread>

#include "platform/desktop_shell.hpp"
#include "platform/env.hpp"
#include "platform/files.hpp"
#include "platform/handle.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"
#include "platform/system_library.hpp"
#include "platform/text.hpp"
#include "platform/win32.hpp"
#include "steam/discovery.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);
// A hung client (the very case ending it is there for) may never answer -shutdown; the
// installer waits behind a window that cannot be closed, so the wait has an end.
constexpr std::uint32_t kShutdownRequestLimitMs = 10'000;
// How long an ended process may take to be gone (ending is asynchronous, but quick).
constexpr DWORD kEndedWaitMs = 5'000;

bool is_steam_image(std::string_view name) {
    return ascii_lower(name) == "steam.exe";
}

// Every process the system lists for us, each with its session, from the terminal services'
// list: it needs no handle on any process, so it also names the session of a Steam started
// as administrator, which a standard user cannot open for querying.
std::optional<std::vector<ProcessEntry>> list_processes_with_sessions() {
    const auto enumerate =
        system_function_as<decltype(WTSEnumerateProcessesW)>(L"wtsapi32.dll",
                                                              "WTSEnumerateProcessesW");
    const auto release =
        system_function_as<decltype(WTSFreeMemory)>(L"wtsapi32.dll", "WTSFreeMemory");
    if (!enumerate || !release) return std::nullopt;
    WTS_PROCESS_INFOW* info = nullptr;
    DWORD count = 0;
    if (!(*enumerate)(WTS_CURRENT_SERVER_HANDLE, 0, 1, &info, &count)) return std::nullopt;
    std::vector<ProcessEntry> list;
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* name = info[i].pProcessName;
        list.push_back({name ? narrow(name) : std::string(), info[i].ProcessId, info[i].SessionId});
    }
    (*release)(info);
    return list;
}

// Every process of the system. Where the terminal services' list is not to be had, a process
// snapshot, with the session read only for steam.exe (reading it opens the process, which
// Windows refuses for a process of higher integrity: its session then stays unknown).
std::vector<ProcessEntry> list_processes() {
    if (auto listed = list_processes_with_sessions()) return std::move(*listed);
    std::vector<ProcessEntry> list;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        ProcessEntry process{narrow(entry.szExeFile), entry.th32ProcessID, std::nullopt};
        DWORD session = 0;
        if (is_steam_image(process.image) && ProcessIdToSessionId(process.pid, &session))
            process.session = session;
        list.push_back(std::move(process));
    }
    return list;
}

std::uint32_t own_session() {
    DWORD session = 0;
    (void)ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

// False only when the process is known to have exited: a process that has ended may stay
// listed for as long as another program holds a handle on it.
bool still_runs(std::uint32_t pid) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// This session's Steam processes that still run.
std::vector<std::uint32_t> steam_in_this_session() {
    std::vector<std::uint32_t> running;
    for (const std::uint32_t pid : steam_process_ids(list_processes(), own_session())) {
        if (still_runs(pid)) running.push_back(pid);
    }
    return running;
}

// Ends one of this session's Steam processes and waits for it to go. Windows refuses the
// handle for a Steam started as administrator when we are not: it then keeps running.
void end_steam_process(std::uint32_t pid) {
    UniqueHandle process(OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return;
    // The id may have gone to another program since the listing: end only a steam.exe.
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
        !is_steam_image(path_file_name(narrow(std::wstring_view(image, size))))) {
        return;
    }
    if (TerminateProcess(process.get(), 1)) WaitForSingleObject(process.get(), kEndedWaitMs);
}

// Polls until this session's Steam is gone or the deadline has passed; true when it is gone.
bool wait_for_steam_to_exit(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (steam_in_this_session().empty()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// The root's steam.exe when the root may supply a program to run: only an absolute root
// does. Without HOME the home-folder layouts are relative to the current folder, which may
// be the Downloads folder the setup was started from; a steam.exe that someone put below
// it must not run. Such roots still count for discovery and the account walk.
std::optional<std::string> client_program(const std::string& root) {
    if (!is_absolute_path(root)) return std::nullopt;
    std::string exe = path_join(root, "steam.exe");
    if (!path_exists(exe)) return std::nullopt;
    return exe;
}

// Starts Steam as our own child.
void start_directly(const std::optional<std::string>& exe, const std::string& root) {
    if (exe) {
        // Steam outlives us: it gets our console at most (never the pipe of a caller
        // reading our output), no other handle of ours, and its own folder as the current
        // one, as when it is started from its shortcut.
        ChildOptions options = ChildOptions::detached(ChildOutput::Inherit);
        options.working_dir = root;
        (void)run_child(*exe, {}, options);
        return;
    }
    // Steam registers itself as the handler of steam:// addresses, so this starts it
    // wherever it is installed.
    (void)run_child("cmd", {"/c", "start", "steam://"},
                    ChildOptions::detached(ChildOutput::Discard));
}

}  // namespace

bool is_steam_running() {
    return !steam_in_this_session().empty();
}

std::chrono::milliseconds steam_close_wait() {
    static const std::chrono::milliseconds wait = [] {
        const auto value = env_var("ML_TEST_STEAM_CLOSE_MS");
        return steam_close_wait_with(value ? std::optional<std::string_view>(*value)
                                           : std::nullopt);
    }();
    return wait;
}

bool close_steam_process(const std::function<void()>& waiting) {
    const auto deadline = std::chrono::steady_clock::now() + steam_close_wait();
    // Any steam.exe started with -shutdown asks the running client to exit; asking through
    // every installation covers a client started from any of them.
    std::vector<std::string> requests;
    for (const std::string& root : detect_steam_roots(std::nullopt)) {
        if (auto exe = client_program(root)) requests.push_back(std::move(*exe));
    }
    if (!requests.empty()) {
        if (waiting) waiting();
        for (const std::string& exe : requests) {
            ChildOptions request;
            request.wait_limit_ms = kShutdownRequestLimitMs;
            (void)run_child(exe, {"-shutdown"}, request);
        }
        if (wait_for_steam_to_exit(deadline)) return true;
    }
    // Steam did not close by itself (or could not be asked to): what is left of it in this
    // session is ended, and then it must be gone.
    for (const std::uint32_t pid : steam_in_this_session()) end_steam_process(pid);
    return steam_in_this_session().empty();
}

SteamRestart restart_steam_process(const std::vector<std::string>& roots) {
    std::optional<std::string> exe;
    std::string root;
    for (const std::string& candidate : roots) {
        if ((exe = client_program(candidate))) {
            root = candidate;
            break;
        }
    }
    const ProcessElevation self = current_token_elevation();
    // Only an elevated run looks for the shell: nothing else depends on it.
    DesktopShell shell = DesktopShell::Unknown;
    if (const auto token = self.elevated ? desktop_shell_token() : std::nullopt) {
        shell = !token->same_user ? DesktopShell::AnotherUser
                : token->elevated ? DesktopShell::OwnUserElevated
                                  : DesktopShell::OwnUserNormal;
    }
    SteamStartRoute route = steam_start_route(self.elevated, self.split_token, shell);
    if (route == SteamStartRoute::DesktopShell) {
        if (start_through_desktop_shell(exe.value_or("steam://"), root) ==
            ShellStartOutcome::Started) {
            return SteamRestart::Started;
        }
        route = steam_start_route_without_shell(self.split_token);
    }
    if (route == SteamStartRoute::LeaveClosed) return SteamRestart::LeftClosed;
    start_directly(exe, root);
    return SteamRestart::Started;
}

}  // namespace ml
