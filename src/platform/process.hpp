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
    Inherit,  // this program's own standard handles (the null device where there are none)
};

// A child that fills a file (a download tool): it is ended, together with every process it
// started, when the file stops growing or the child runs too long.
struct ChildWatch {
    std::string file;  // the file the child writes; absent counts as 0 bytes
    TransferLimits limits;
};

// How to start a child.
struct ChildOptions {
    ChildOutput output = ChildOutput::Discard;
    // Wait for the child to exit; otherwise return right after it started.
    bool wait = true;
    // Text appended after the quoted arguments, unquoted, for `cmd /c`: cmd parses the rest
    // of its command line itself and does not understand backslash-escaped quotes.
    std::string raw_tail;
    // Set only for downloads; every other child is simply waited for. Needs wait and no
    // Capture (the watch cannot look at the file while the pipes are drained).
    std::optional<ChildWatch> watch;

    // Output captured, waited for (the probes: reg query, tasklist).
    static ChildOptions captured() {
        ChildOptions o;
        o.output = ChildOutput::Capture;
        return o;
    }
    // Started and left to run, its output sent as given.
    static ChildOptions detached(ChildOutput output) {
        ChildOptions o;
        o.output = output;
        o.wait = false;
        return o;
    }
};

// What became of a started child.
struct ChildRun {
    std::optional<std::uint32_t> exit_code;  // nullopt when the child was not waited for
    std::string out;                         // captured standard output, as bytes
    std::string err;                         // captured standard error, as bytes
    std::optional<TransferEnd> stopped;      // set when the watch ended the child
};

// Starts `program` with `arguments` joined by the Windows convention. A bare program name is
// searched the way Windows does it (this program's folder, the current folder, system32,
// the Windows folder, PATH; ".exe" added). Fails only when the child cannot start: a NUL in
// any text, an unknown program, or Capture without wait.
Result<ChildRun> run_child(std::string_view program, const std::vector<std::string>& arguments,
                           const ChildOptions& options = {});

// Runs a tool hidden, output discarded, and waits: its exit status, or why it did not start.
Result<std::uint32_t> run_hidden_command(std::string_view program,
                                         const std::vector<std::string>& arguments);

}  // namespace ml
