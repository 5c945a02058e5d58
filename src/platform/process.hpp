#pragma once

// The one way this program starts child processes: always without a console window and with
// standard input from the null device, so no system tool can show anything or wait for input.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.hpp"

namespace ml {

// Where a child's standard output and error go.
enum class ChildOutput {
    Discard,  // the null device
    Capture,  // read into ChildRun::out and ChildRun::err (only with wait)
    Inherit,  // this program's own standard handles (the null device where there are none)
};

// How to start a child.
struct ChildOptions {
    ChildOutput output = ChildOutput::Discard;
    // Wait for the child to exit; otherwise return right after it started.
    bool wait = true;
    // Text appended after the quoted arguments, unquoted, for `cmd /c`: cmd parses the rest
    // of its command line itself and does not understand backslash-escaped quotes.
    std::string raw_tail;
    // The child's current folder; empty for this program's own.
    std::string working_folder;

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
