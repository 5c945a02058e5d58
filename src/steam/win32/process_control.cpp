#include "steam/win32/process_control.hpp"

#include <windows.h>

#include <tlhelp32.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <thread>

#include "platform/win32/desktop_shell.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/win32/process.hpp"
#include "platform/win32/system_library.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"
#include "steam/win32/discovery.hpp"
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

// Process ids that the session list leaves out as if they were another Windows user's
// (ML_TEST_OTHER_USER_PIDS, a testing aid: Wine runs every process in one session, under one
// user), read once.
const std::vector<std::uint32_t>& test_other_user_pids() {
    static const std::vector<std::uint32_t> pids = [] {
        const auto value = env_var("ML_TEST_OTHER_USER_PIDS");
        return test_process_ids(value ? std::optional<std::string_view>(*value) : std::nullopt);
    }();
    return pids;
}

// Every process the terminal services list for us, each with its session. It needs no handle
// on any process, so it also names the session of a Steam started as administrator, which a
// standard user cannot open for querying. It shows a standard user only their own processes.
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
    const auto& hidden = test_other_user_pids();
    std::vector<ProcessEntry> list;
    for (DWORD i = 0; i < count; ++i) {
        if (std::find(hidden.begin(), hidden.end(), info[i].ProcessId) != hidden.end()) continue;
        const wchar_t* name = info[i].pProcessName;
        list.push_back({name ? narrow(name) : std::string(), info[i].ProcessId, info[i].SessionId});
    }
    (*release)(info);
    return list;
}

// Every process of the system, names and ids, from a process snapshot, which needs no handle
// on any of them: another Windows user's processes are in it too.
std::vector<ProcessEntry> snapshot_processes() {
    std::vector<ProcessEntry> list;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        list.push_back({narrow(entry.szExeFile), entry.th32ProcessID, std::nullopt});
    }
    return list;
}

// Every process of the system with its session: the snapshot's, each with the session the
// terminal services give it; one they leave out is another user's. Without their list, the
// session is read only for steam.exe (reading it opens the process, which Windows refuses
// for another user's process or one of higher integrity: its session then stays unknown).
std::vector<ProcessEntry> list_processes() {
    // The snapshot first: a process started in between is then in the session list and
    // added from there; one that ended in between is found gone by still_runs.
    std::vector<ProcessEntry> list = snapshot_processes();
    auto sessions = list_processes_with_sessions();
    for (ProcessEntry& process : list) {
        if (!sessions) {
            DWORD session = 0;
            if (is_steam_image(process.image) && ProcessIdToSessionId(process.pid, &session))
                process.session = session;
            continue;
        }
        const auto same = [&](const ProcessEntry& e) {
            return e.pid == process.pid && equals_ascii_ci(e.image, process.image);
        };
        const auto listed = std::find_if(sessions->begin(), sessions->end(), same);
        if (listed == sessions->end()) {
            process.other_user = true;
            continue;
        }
        process.session = listed->session;
        sessions->erase(listed);
    }
    if (sessions) list.insert(list.end(), sessions->begin(), sessions->end());
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

// The full path of a process's program; nullopt when the process cannot be opened to ask
// (Windows lets a standard user open only their own processes) or does not say.
std::optional<std::string> process_image_path(std::uint32_t pid) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.get(), 0, image, &size)) return std::nullopt;
    return narrow(std::wstring_view(image, size));
}

// Two spellings of one Steam folder: the same folder on disk, or (when either cannot be
// opened) the same path in any ASCII letter case, as Windows compares names.
bool same_steam_folder(const std::string& root, const std::string& folder) {
    return same_file(root, folder) || same_path(ascii_lower(root), ascii_lower(folder));
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

SteamRootsHeld find_steam_roots_held_elsewhere(const std::vector<std::string>& roots) {
    std::vector<ProcessEntry> elsewhere;
    const std::uint32_t session = own_session();
    for (ProcessEntry& process : list_processes()) {
        if (!is_elsewhere_steam(process, session) || !still_runs(process.pid)) continue;
        process.path = process_image_path(process.pid);
        elsewhere.push_back(std::move(process));
    }
    return steam_roots_held_elsewhere(elsewhere, session, roots, same_steam_folder);
}

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
