#pragma once

#include <string>
#include <string_view>

namespace ml {

// text as a PowerShell single-quoted string literal that reads back as exactly text. Inside
// such a literal PowerShell ends the string at any of five quote characters (', and the
// typographic U+2018, U+2019, U+201A, U+201B), and reads each of them doubled as itself, so
// every one is doubled: a path or address can then never end the literal and run code.
std::string powershell_quote(std::string_view text);

}  // namespace ml
