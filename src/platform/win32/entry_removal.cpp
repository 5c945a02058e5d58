#include "platform/win32/entry_removal.hpp"

#include <windows.h>

#include <optional>

#include "platform/win32/folder_removal.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// The entry's own attributes (a link's, not its target's); nullopt when there is none.
std::optional<DWORD> own_attributes(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

}  // namespace

FileRemoval remove_single_file(const std::string& path) {
    // remove_folder_tree looks the path up by a file search, where these would be wildcards.
    if (path.find_first_of("*?") != std::string::npos) return FileRemoval::Kept;
    const auto attributes = own_attributes(path);
    if (!attributes) return FileRemoval::Absent;
    if (*attributes & FILE_ATTRIBUTE_DIRECTORY) return FileRemoval::Kept;
    // A file has nothing inside: the tree removal takes the entry itself, opened as itself.
    const FolderLeftovers left = remove_folder_tree(path);
    if (!left.folder_left) return FileRemoval::Gone;
    return left.files.empty() ? FileRemoval::Kept : FileRemoval::InUse;
}

bool is_plain_folder(const std::string& path) {
    const auto attributes = own_attributes(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(*attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool remove_folder_if_empty(const std::string& folder) {
    if (!own_attributes(folder)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // RemoveDirectoryW takes only an empty folder.
    return is_plain_folder(folder) && RemoveDirectoryW(widen(folder).c_str());
}

}  // namespace ml
