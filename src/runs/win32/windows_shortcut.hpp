#pragma once

#include <string>

#include "platform/error.hpp"

namespace ml {

// Writes the .lnk file shortcut_path that starts target without arguments in target's folder
// and shows the icon of icon_file; the shortcut's folder is created first when missing. COM
// must be initialised on the calling thread.
Result<void> create_windows_shortcut(const std::string& target, const std::string& shortcut_path,
                                     const std::string& icon_file);

}  // namespace ml
