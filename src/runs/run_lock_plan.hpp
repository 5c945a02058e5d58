#pragma once

// What every per-user lock between runs of this program shares, without the operating
// system: which runs there are, how a holder names itself to the runs that wait for it, how
// long they wait, and the words for a wait that ran out.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace ml {

// The runs that take a lock.
enum class RunKind { Injection, Installation, Uninstallation };

// The wait: `fallback`, or a test's override in milliseconds (decimal digits, not zero).
std::chrono::milliseconds lock_wait_with(std::optional<std::string_view> override_ms,
                                         std::chrono::milliseconds fallback);

// How a holder names itself to waiting runs: "process 1234, an installation".
std::string run_holder_text(unsigned long process_id, RunKind run);

// A holder's text as it may be shown: any program of the session can write it, so every byte
// that is not printable ASCII (control characters, escape sequences, line breaks, and the
// bytes of any other character) becomes '?'. Our own runs write only printable ASCII.
std::string printable_holder_text(std::string_view raw);

// "another Marrowlane {who} (process 1234, an installation)"; without a holder text (one that
// has not named itself yet) the parenthesis is left out.
std::string another_run_text(std::string_view who, std::optional<std::string_view> holder);

// another_run_text followed by " {doing} for over 3 minutes".
std::string run_busy_reason(std::string_view who, std::optional<std::string_view> holder,
                            std::string_view doing, std::chrono::milliseconds waited);

}  // namespace ml
