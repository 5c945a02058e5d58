#pragma once

// Removing one named file, or one folder once it is empty, by the rules remove_folder_tree
// follows inside a folder: a link is removed as a link or left where it is, never followed,
// and nothing is removed recursively. For paths the program did not build itself from a
// folder it removes whole (a shortcut or a product file named by the installation's record).
#include <string>

namespace ml {

// What became of a file given to remove_single_file.
enum class FileRemoval {
    Absent,  // nothing there
    Gone,    // removed
    InUse,   // still there: held without delete sharing, or a running program's image
    Kept,    // left for good: a folder (or a link to one), or a link that cannot be removed
             // without reaching its target
};

// Removes the file at `path`, a read-only one included. A folder at that path is never
// entered: the name of a file the product uses may be a folder of the user's.
FileRemoval remove_single_file(const std::string& path);

// True when `path` is a folder itself, not a link to one (nor a junction).
bool is_plain_folder(const std::string& path);

// Removes `folder` when it is a plain folder and empty; true when it is not there afterwards.
// A folder that still holds anything stays: the system refuses, so nothing that appears
// meanwhile is lost.
bool remove_folder_if_empty(const std::string& folder);

}  // namespace ml
