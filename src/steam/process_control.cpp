#include "steam/process_control.hpp"

#include <windows.h>

#include "platform/files.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"
#include "steam/discovery.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

constexpr int kPolls = 10;
constexpr DWORD kPollIntervalMs = 200;
// A hung client (the very case taskkill is there for) may never answer -shutdown; the
// installer waits behind a window that cannot be closed, so the wait has an end.
constexpr std::uint32_t kShutdownRequestLimitMs = 10'000;

// Polls until steam.exe is gone or the polls are used up; true when it is gone.
bool wait_for_steam_to_exit() {
    for (int i = 0; i < kPolls; ++i) {
        Sleep(kPollIntervalMs);
        if (!is_steam_running()) return true;
    }
    return false;
}

}  // namespace

bool is_steam_running() {
    // tasklist's exit status says nothing here (it is 0 when nothing matches), and its
    // "no tasks" notice does not name the image.
    const std::vector<std::string> args = {"/fi", "imagename eq steam.exe"};
    auto run = run_child("tasklist", args, ChildOptions::captured());
    return run && tasklist_lists_steam(run->out);
}

void close_steam_process() {
    // Any steam.exe started with -shutdown asks the running client to exit; asking through
    // every installation covers a client started from any of them.
    for (const std::string& root : detect_steam_roots(std::nullopt)) {
        const std::string exe = path_join(root, "steam.exe");
        if (!path_exists(exe)) continue;
        ChildOptions request;
        request.wait_limit_ms = kShutdownRequestLimitMs;
        (void)run_child(exe, {"-shutdown"}, request);
    }
    if (wait_for_steam_to_exit()) return;
    (void)run_hidden_command("taskkill", {"/f", "/im", "steam.exe"});
    (void)wait_for_steam_to_exit();
}

void restart_steam_process(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        const std::string exe = path_join(root, "steam.exe");
        if (path_exists(exe)) {
            // Steam outlives us: it gets our console at most (never the pipe of a caller
            // reading our output), no other handle of ours, and its own folder as the
            // current one, as when it is started from its shortcut.
            ChildOptions options = ChildOptions::detached(ChildOutput::Inherit);
            options.working_dir = root;
            (void)run_child(exe, {}, options);
            return;
        }
    }
    // Steam registers itself as the handler of steam:// addresses, so this starts it
    // wherever it is installed.
    (void)run_child("cmd", {"/c", "start", "steam://"},
                    ChildOptions::detached(ChildOutput::Discard));
}

}  // namespace ml
