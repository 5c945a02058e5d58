#include "steam/process_control.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "platform/files.hpp"
#include "platform/path.hpp"
#include "platform/process.hpp"
#include "steam/discovery.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

constexpr int kPolls = 10;
constexpr auto kPollInterval = std::chrono::milliseconds(200);
// A hung client (the very case taskkill is there for) may never answer -shutdown; the
// installer waits behind a window that cannot be closed, so the wait has an end.
constexpr std::uint32_t kShutdownRequestLimitMs = 10'000;

// Polls until steam.exe is gone or the polls are used up; true when it is gone.
bool wait_for_steam_to_exit() {
    for (int i = 0; i < kPolls; ++i) {
        std::this_thread::sleep_for(kPollInterval);
        if (!is_steam_running()) return true;
    }
    return false;
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

}  // namespace

bool is_steam_running() {
    // tasklist's exit status says nothing here (it is 0 when nothing matches), and its
    // "no tasks" notice does not name the image. A tasklist that had to be ended at its
    // limit (a hung process-information service, a security product holding it) answered
    // nothing, so Steam counts as not running and every caller goes on.
    const std::vector<std::string> args = {"/fi", "imagename eq steam.exe"};
    auto run = run_child("tasklist", args, ChildOptions::captured());
    return run && run->exit_code && tasklist_lists_steam(run->out);
}

void close_steam_process() {
    // Any steam.exe started with -shutdown asks the running client to exit; asking through
    // every installation covers a client started from any of them.
    for (const std::string& root : detect_steam_roots(std::nullopt)) {
        const auto exe = client_program(root);
        if (!exe) continue;
        ChildOptions request;
        request.wait_limit_ms = kShutdownRequestLimitMs;
        (void)run_child(*exe, {"-shutdown"}, request);
    }
    if (wait_for_steam_to_exit()) return;
    (void)run_hidden_command("taskkill", {"/f", "/im", "steam.exe"});
    (void)wait_for_steam_to_exit();
}

void restart_steam_process(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) {
        if (const auto exe = client_program(root)) {
            // Steam outlives us: it gets our console at most (never the pipe of a caller
            // reading our output), no other handle of ours, and its own folder as the
            // current one, as when it is started from its shortcut.
            ChildOptions options = ChildOptions::detached(ChildOutput::Inherit);
            options.working_dir = root;
            (void)run_child(*exe, {}, options);
            return;
        }
    }
    // Steam registers itself as the handler of steam:// addresses, so this starts it
    // wherever it is installed.
    (void)run_child("cmd", {"/c", "start", "steam://"},
                    ChildOptions::detached(ChildOutput::Discard));
}

}  // namespace ml
