#pragma once

// Windows shortcut files (.lnk) through the shell link interface, on UTF-8 paths.
#include <string>

#include "platform/error.hpp"

namespace ml {

// What a shortcut file holds that this program sets or reads back.
struct ShellLink {
    std::string target;
    std::string working_folder;
    std::string arguments;
    std::string icon_file;
    int icon_index = 0;

    friend bool operator==(const ShellLink&, const ShellLink&) = default;
};

// Writes the shortcut file at path (replacing it). COM must be initialised on the thread.
Result<void> save_shell_link(const std::string& path, const ShellLink& link);

// Reads a shortcut file back. COM must be initialised on the thread.
Result<ShellLink> load_shell_link(const std::string& path);

}  // namespace ml
