#pragma once

// Removing a folder with everything in it, without ever reaching outside it: a link inside
// (a directory symbolic link, a junction, a file symbolic link) is removed as a link or left
// where it is, never followed. What cannot go now (a running program's image, a file another
// program holds open) is reported, so that a later attempt can take exactly those entries.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
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

// Empties `folder` depth first and removes it, taking the names in `first` (in that order,
// any letter case) before the rest of its top level. Nothing below a link is entered; a link
// is removed only when the system opens the link itself rather than its target. When
// `folder` is itself a link, only the link is removed (or kept), never what it points at.
// A missing folder leaves nothing.
FolderLeftovers remove_folder_tree(const std::string& folder,
                                   std::span<const std::string_view> first = {});

}  // namespace ml
