#pragma once

// What a removal of a folder left behind, as the uninstallation's rules see it. A record of
// its own, without the removal, so that those rules compile and are tested on any system.
#include <cstddef>
#include <string>
#include <vector>

namespace ml {

// What remove_folder_tree left behind. Paths are relative to the folder ("sub\file.txt").
struct FolderLeftovers {
    // Plain files that could not be removed yet (in use, or refused).
    std::vector<std::string> files;
    // Plain folders that could not be removed yet, deepest first (each after its content).
    std::vector<std::string> folders;
    // The folder itself is still there.
    bool folder_left = false;
    // Entries left for good, which no later attempt may touch either: links that could not
    // be removed as links (Wine resolves every link it opens, so a deletion would reach the
    // target), entries that could not be opened to tell what they are, and names that are
    // not valid Unicode. Any of these keeps the folders around it.
    std::size_t kept = 0;
};

}  // namespace ml
