#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/error.hpp"

namespace ml {

// Appends one argument to a Windows command line so that CommandLineToArgvW (and the C
// runtime) give it back unchanged: enclosed in double quotes when it is empty or holds a
// space or tab; an inner double quote becomes \" with the backslashes before it doubled;
// backslashes at the end of a quoted argument are doubled.
void append_windows_argument(std::string& command_line, std::string_view argument);

// The full command line for a program and its arguments, each argument quoted as above.
// The program name is always enclosed in double quotes (it cannot hold one itself), so a
// path with spaces stays one name. Fails with InvalidInput when any text holds a NUL, which
// no command line can carry.
Result<std::string> join_command_line(std::string_view program,
                                      std::span<const std::string> arguments);

// The same with raw_tail appended after one space, unquoted (nothing when it is empty): for
// `cmd /c`, which splits the rest of its command line by its own rules. Fails on a NUL there.
Result<std::string> join_command_line(std::string_view program,
                                      std::span<const std::string> arguments,
                                      std::string_view raw_tail);

}  // namespace ml
