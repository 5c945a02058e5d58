#pragma once

// The total size of a folder tree, walked through a listing function so that the rule (what
// counts, what is entered) needs no operating system; files.hpp gives the real listing.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ml {

// One entry of a folder as the file system lists it, links not followed.
struct FolderEntry {
    enum class Kind { File, Folder, Link };
    std::string name;
    Kind kind = Kind::File;
    std::uint64_t size = 0;  // bytes of a file; not used for folders and links
};

// The entries of a folder; nullopt when it cannot be listed.
using FolderLister = std::function<std::optional<std::vector<FolderEntry>>(const std::string&)>;

// The bytes of all files below root, subfolders included. A link (junction, symbolic link or
// any other reparse point) counts nothing and is not entered: what it points at belongs to
// another folder, and a link back up the tree would never end. A subfolder that cannot be
// listed counts nothing; nullopt when root itself cannot be listed.
std::optional<std::uint64_t> total_file_bytes(const std::string& root, const FolderLister& list);

}  // namespace ml
