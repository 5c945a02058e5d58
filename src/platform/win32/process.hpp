#pragma once

// The one way this program starts child processes: always without a console window and with
// standard input from the null device, so no system tool can show anything or wait for input.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.hpp"
#include "platform/transfer_watch.hpp"

namespace ml {

// Where a child's standard output and error go.
enum class ChildOutput {
    Discard,  // the null device
    Capture,  // read into ChildRun::out and ChildRun::err (only with wait)
    // This program's own standard output and error where they are a console; the null device
    // for a pipe or file, so that a caller reading our output (`setup | tee log`) is not kept
    // waiting by a child that outlives us.
    Inherit,
};

// Where a child's standard input comes from.
enum class ChildInput {
    Null,  // the null device: the child reads end of file at once
    // A pipe whose only write end this process holds, never written and never closed: the
    // child reads end of file exactly when this process has exited, however it ended. For
    // work that must wait for this program to be gone (only with wait off).
    UntilWeExit,
};

// How long run_child waits for a child whose caller gave no limit of its own.
// A probe (reg query) answers in well under a second; 15 s covers a loaded
// machine, and a probe that has not answered by then is taken as failed.
inline constexpr std::uint32_t kProbeWaitLimitMs = 15'000;
// An action that is waited for: more room, since ending an action early may
// leave its work half done.
inline constexpr std::uint32_t kActionWaitLimitMs = 60'000;
// No caller waits longer than this, whatever it asks for.
inline constexpr std::uint32_t kLongestWaitLimitMs = 600'000;

// A child that fills a file (a download tool): it is ended, together with every process it
// started, when the file stops growing or the child runs too long.
struct ChildWatch {
    std::string file;  // the file the child writes; absent counts as 0 bytes
    TransferLimits limits;
};

// How to start a child.
struct ChildOptions {
    ChildOutput output = ChildOutput::Discard;
    ChildInput input = ChildInput::Null;
    // Wait for the child to exit; otherwise return right after it started.
    bool wait = true;
    // With wait, the longest wait in milliseconds (at most kLongestWaitLimitMs): at the
    // limit the child and every process it started are ended and ChildRun::exit_code stays
    // nullopt. Unset: kProbeWaitLimitMs with Capture, kActionWaitLimitMs otherwise. A
    // watched child is ended by its watch's limits instead.
    std::optional<std::uint32_t> wait_limit_ms;
    // The child's current folder; empty for ours.
    std::string working_dir;
    // Text appended after the quoted arguments, unquoted, for `cmd /c`: cmd parses the rest
    // of its command line itself and does not understand backslash-escaped quotes.
    std::string raw_tail;
    // Set only for downloads; every other child is simply waited for. Needs wait and no
    // Capture (the watch cannot look at the file while the pipes are drained).
    std::optional<ChildWatch> watch;
    // Handles (HANDLE values, each made inheritable by the caller) that the child inherits
    // besides its three standard ones: a mark that must live exactly as long as the child.
    std::vector<void*> inherited;

    // Output captured, waited for (the probes: reg query). Whatever the probe
    // started and left running is ended with it: it would hold the pipes open.
    static ChildOptions captured() {
        ChildOptions o;
        o.output = ChildOutput::Capture;
        return o;
    }
    // Started and left to run, its output sent as given. It breaks away from a job that
    // this program runs in, where the job allows that, so that it outlives a caller that
    // closes the job when we exit; a job that refuses gets it all the same (and ends it).
    static ChildOptions detached(ChildOutput output) {
        ChildOptions o;
        o.output = output;
        o.wait = false;
        return o;
    }
};

// What became of a started child.
struct ChildRun {
    // nullopt when not waited for, or ended at its limit
    std::optional<std::uint32_t> exit_code;
    std::string out;                         // captured standard output, as bytes
    std::string err;                         // captured standard error, as bytes
    std::optional<TransferEnd> stopped;      // set when the watch ended the child
};

// Starts `program` with `arguments` joined by the Windows convention. The system tools (reg,
// cmd, curl, powershell) are started from the system folder by full path;
// any other bare name is searched the way Windows does it. The child inherits only its three
// standard handles and `inherited`. Fails only when the child cannot start: a NUL in any
// text, an unknown program, Capture without wait, or UntilWeExit with wait.
Result<ChildRun> run_child(std::string_view program, const std::vector<std::string>& arguments,
                           const ChildOptions& options = {});

// Runs a tool hidden, output discarded, and waits (kActionWaitLimitMs at most): its exit
// status, or why it did not start or did not finish in time.
Result<std::uint32_t> run_hidden_command(std::string_view program,
                                         const std::vector<std::string>& arguments);

}  // namespace ml
