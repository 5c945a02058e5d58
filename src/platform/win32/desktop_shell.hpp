#pragma once

// This process's token, and the desktop shell that holds the user's own. A program started by
// an elevated process runs elevated too; the shell (the Explorer that shows the desktop) runs
// with the token the user signed in with, so what it starts does as well.
#include <chrono>
#include <optional>
#include <string>

namespace ml {

// This process's token as GetTokenInformation describes it; not elevated when it cannot tell.
struct ProcessElevation {
    bool elevated = false;  // TokenElevation
    // TokenElevationType is TokenElevationTypeFull: UAC gave this process the full token of
    // an administrator whose normal (limited) token the desktop holds. Never under Wine,
    // whose default token looks like that for every program.
    bool split_token = false;
};
ProcessElevation current_token_elevation();

// The desktop shell's token as an elevated setup compares it with its own.
struct DesktopShellToken {
    bool elevated = false;   // TokenElevation
    bool same_user = false;  // its TokenUser is this process's: not an administrator's
                             // account elevated "over the shoulder" of the signed-in user
};

// The token of the desktop shell (the Explorer that shows the desktop and the taskbar);
// nullopt when no shell runs (Wine starts its desktop only when a program first needs one)
// or its token cannot be read (an elevated process can read its own user's, so something is
// amiss then). Found by its windows: the shell window, or else the taskbar's (Wine's
// Explorer sets no shell window).
std::optional<DesktopShellToken> desktop_shell_token();

// What became of a start through the desktop shell.
enum class ShellStartOutcome {
    NoShell,  // no desktop shell answered (none runs, or it did not answer in time)
    Failed,   // the shell was asked and refused
    Started,  // the shell has started the program
};

// How long a start through the shell may take before the setup goes on without it.
inline constexpr std::chrono::seconds kShellStartLimit{20};

// Has the desktop shell open `file` (a program or an address such as steam://) with
// `directory` as its current folder (empty: the shell's choice), the way the desktop opens
// it: the shell windows collection gives the desktop's folder view, whose automation object
// offers IShellDispatch2::ShellExecute in the shell's process. The work runs on a thread of
// its own, which is left behind after kShellStartLimit: a shell that does not answer must
// not hold up the setup.
ShellStartOutcome start_through_desktop_shell(const std::string& file,
                                              const std::string& directory);

}  // namespace ml
