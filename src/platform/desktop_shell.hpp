#pragma once

// This process's token, and the desktop shell that holds the user's own. A program started by
// an elevated process runs elevated too; the shell (the Explorer that shows the desktop) runs
// with the token the user signed in with, so what it starts does as well.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace ml {

// This process's token as GetTokenInformation describes it; not elevated when it cannot tell.
struct ProcessElevation {
    bool elevated = false;  // TokenElevation
    // TokenElevationType is TokenElevationTypeFull: UAC gave this process the full token of
    // an administrator whose normal (limited) token the desktop holds.
    bool split_token = false;
};
ProcessElevation current_token_elevation();

// What became of a start through the desktop shell.
enum class ShellStartOutcome {
    NoShell,   // no desktop shell answered (none runs, or it did not answer in time)
    Declined,  // found, but use_shell turned it down; nothing was started
    Failed,    // the shell was asked and refused
    Started,   // the shell has started the program
};

struct ShellStart {
    ShellStartOutcome outcome = ShellStartOutcome::NoShell;
    // The shell's elevation, once it was found (a token it cannot read counts as normal).
    std::optional<bool> shell_elevated;
};

// How long a start through the shell may take before the setup goes on without it.
inline constexpr std::chrono::seconds kShellStartLimit{20};

// Finds the desktop shell through the shell windows collection and, when
// use_shell(shell is elevated) agrees, has it open `file` (a program or an address such as
// steam://) with `directory` as its current folder (empty: the shell's choice), the way the
// desktop opens it: IShellDispatch2::ShellExecute on the desktop's folder view. The work runs
// on a thread of its own, which is left behind after kShellStartLimit: a shell that does not
// answer must not hold up the setup. use_shell runs on that thread.
ShellStart start_through_desktop_shell(const std::string& file, const std::string& directory,
                                       const std::function<bool(bool shell_elevated)>& use_shell);

}  // namespace ml
