#pragma once

#include <string>

namespace ml {

// True only for an existing, readable regular file whose first two bytes are "MZ", the mark
// of a Windows executable image; every failure (missing, a folder, unreadable, shorter than
// two bytes) is false. Nothing else of the file is examined.
bool is_valid_executable_for_platform(const std::string& path);

}  // namespace ml
