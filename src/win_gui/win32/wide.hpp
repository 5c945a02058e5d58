#pragma once

#include <string>
#include <string_view>

namespace ml {

// UTF-8 text as the NUL-terminated UTF-16 string every W call takes (characters above
// U+FFFF as surrogate pairs; invalid UTF-8 as U+FFFD). A NUL inside the text ends the
// string for Win32.
std::wstring to_wide(std::string_view utf8);

}  // namespace ml
