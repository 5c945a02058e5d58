#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ml {

// Writes UTF-8 text to standard output: as UTF-16 through WriteConsoleW when the stream is
// a console, as the raw bytes when it is a pipe or file, nowhere when there is none.
// Never fails.
void out(std::string_view utf8);

// The same for standard error.
void err(std::string_view utf8);

// Reads one line from standard input and returns it without its line break; nullopt at end
// of input or on a read error (a console, a pipe or a file alike).
std::optional<std::string> read_stdin_line();

}  // namespace ml
