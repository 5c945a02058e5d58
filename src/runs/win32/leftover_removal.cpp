// The removal that follows an uninstallation. It runs as a copy of this program outside the
// folder it empties (a running program's image cannot be deleted, so the uninstaller cannot
// remove its own copy there), waits for the uninstaller to exit, and then takes what is left
// through the same checks as the uninstaller: each entry opened as itself, checked to be
// exactly where it was, deleted through that handle. Nothing of the user's text passes
// through a command interpreter.
#include "runs/win32/leftover_removal.hpp"

#include <windows.h>

#include <cstdint>
#include <optional>

#include "platform/win32/files.hpp"
#include "platform/win32/folder_removal.hpp"
#include "platform/path.hpp"
#include "platform/win32/private_copy.hpp"
#include "platform/win32/process.hpp"
#include "platform/win32/system_tools.hpp"
#include "platform/win32/win32.hpp"
#include "runs/win32/runs.hpp"
#include "runs/uninstall_plan.hpp"

namespace ml {
namespace {

// CreateProcessW takes at most 32767 characters of command line, its end included.
constexpr std::size_t kLongestCommandLine = 32'000;

// The temporary folder of this process's user, as GetTempPathW gives it; nullopt when it
// cannot tell.
std::optional<std::string> temporary_folder() {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    const DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0 || n >= buffer.size()) return std::nullopt;
    buffer.resize(n);
    const std::string folder = narrow(buffer);
    return is_absolute_path(folder) ? std::optional(folder) : std::nullopt;
}

// A number for a new folder's name that no other run of this program picks at once: the
// folder must not exist yet, and a program that made one of the name first only makes this
// run pick another.
std::uint64_t unique_number(unsigned attempt) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
           static_cast<std::uint64_t>(counter.QuadPart) ^ (GetTickCount64() << 20) ^ attempt;
}

// Once this copy has ended, a hidden cmd deletes it and then its folder: nothing can delete
// a running program's image, the program itself included. Only a copy in a folder made for
// it goes; started from anywhere else, it is left alone.
void start_own_cleanup() {
    const auto self = running_program_path();
    if (!self) return;
    const std::string folder = path_parent(*self);
    const std::string_view folder_name = path_file_name(folder);
    const auto ping = system_tool_path("ping");
    if (!ping || path_file_name(*self) != std::string(folder_name) + ".exe") return;
    const auto command = removal_program_cleanup_command(folder_name, *ping);
    if (!command) return;
    ChildOptions options = ChildOptions::detached(ChildOutput::Discard);
    options.input = ChildInput::UntilWeExit;
    options.raw_tail = *command;
    // cmd enters the folder itself (see removal_program_cleanup_command), from the folder
    // above, which this copy runs in too.
    options.working_dir = path_parent(folder);
    // /d: no AutoRun command from the registry. /e:on /v:off: the loop and `set /p` need
    // command extensions, and `!` must stay a plain character, whatever the registry says.
    (void)run_child("cmd", {"/d", "/e:on", "/v:off", "/c"}, options);
}

// The uninstaller hands over its end through standard input, which ends when it exits.
void wait_for_end_of_input() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
}

}  // namespace

bool start_leftover_removal(const LeftoverRemoval& removal, HANDLE mark) {
    const auto temporary = temporary_folder();
    if (!temporary) return false;
    std::optional<PrivateProgramCopy> copy;
    for (unsigned attempt = 0; attempt < 4 && !copy; ++attempt) {
        const std::string name = removal_program_folder_name(unique_number(attempt));
        auto made = PrivateProgramCopy::make(*temporary, name, name + ".exe");
        if (made) copy.emplace(std::move(*made));
    }
    if (!copy) return false;
    ChildOptions options = ChildOptions::detached(ChildOutput::Discard);
    options.input = ChildInput::UntilWeExit;
    // Never the folder it empties, nor its own: what starts with a program (Wine's console
    // host of a console program it starts) can take its current folder and hold it for as
    // long as it lives, which would keep the copy's folder from going after it.
    options.working_dir = path_parent(copy->folder());
    options.inherited.push_back(mark);
    const std::size_t budget = kLongestCommandLine - 2 * copy->program().size();
    if (!run_child(copy->program(), leftover_removal_arguments(removal, budget), options))
        return false;
    copy->keep();
    return true;
}

Result<void> run_leftover_removal(const LeftoverRemoval& removal) {
    start_own_cleanup();
    wait_for_end_of_input();
    FolderLeftovers left;
    for (const std::string& file : removal.files) {
        if (is_plain_relative_path(file)) left.files.push_back(file);
    }
    for (const std::string& folder : removal.folders) {
        if (is_plain_relative_path(folder)) left.folders.push_back(folder);
    }
    for (int attempt = 0; attempt < kDelayedRemovalAttempts; ++attempt) {
        if (attempt > 0) Sleep(1000);
        left = remove_leftovers(removal.folder, left);
        // Something found behind a link stays, and keeps the folder: only what is ours is
        // worth waiting for then.
        if (left.files.empty() && left.folders.empty() && (!left.folder_left || left.kept > 0))
            break;
    }
    return {};
}

}  // namespace ml
