#pragma once

// File system operations on UTF-8 paths, through the W calls (std::filesystem::copy_file is
// unreliable under Wine, whose msvcrt reports inode 0 for every file).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.hpp"
#include "platform/folder_size.hpp"

namespace ml {

// True when the path names anything (file or folder; links followed).
bool path_exists(const std::string& path);
// True for an existing folder / regular file (links followed).
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
// The size of a regular file; nullopt when it does not exist or is a folder.
std::optional<std::uint64_t> file_size(const std::string& path);

// The absolute form of a path as Windows resolves it (GetFullPathNameW): against the current
// folder, with "." and ".." folded and trailing dots and spaces of names dropped, as a
// folder created under the path would be named.
Result<std::string> full_path(const std::string& path);

// Creates the folder and all missing ancestors; success when it already exists.
Result<void> create_directories(const std::string& path);

// The whole content of a file.
Result<std::string> read_file(const std::string& path);

// The whole content of a file no larger than max_bytes. A larger one is not read (nothing is
// allocated for it): InvalidData "{path} is {size}, more than the {max} such a file can be",
// the path in debug form and the sizes as byte_size_text gives them.
Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes);

// The first bytes of a file, at most `count` (fewer when the file is shorter); nullopt when
// it cannot be opened or read.
std::optional<std::string> read_file_head(const std::string& path, std::size_t count);

// Creates or truncates the file and writes all bytes.
Result<void> write_file(const std::string& path, std::string_view bytes);

// Replaces the file's content without ever leaving it truncated: the bytes go to a new file
// beside it, are flushed to disk, then that file takes the old one's place in one step.
// On failure the old file is untouched and the temporary file is removed.
Result<void> replace_file_atomically(const std::string& path, std::string_view bytes);

// Writes a new file in one step, never over anything already named `path`: the bytes go to
// a file beside it, are flushed, then take the name only if it is free. True when written,
// false when the name was taken (what is there is left as it is).
Result<bool> create_file_atomically(const std::string& path, std::string_view bytes);

// Copies a file's data (its unnamed stream only) to `to`, replacing what is there, a
// read-only file included. The copy is a plain file: neither the source's attributes nor its
// alternate data streams (a browser's Zone.Identifier mark) come along. It takes the
// destination's place in one step, so a failed copy leaves the earlier file whole; a
// destination that is a link has the file it points to replaced.
Result<void> copy_file(const std::string& from, const std::string& to);

// Moves a file over another one in one step (replacing it).
Result<void> move_file_replacing(const std::string& from, const std::string& to);

// Which file a path names, whatever the path's spelling: volume serial and file index.
struct FileIdentity {
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of an existing file; nullopt when it cannot be opened or queried.
std::optional<FileIdentity> file_identity(const std::string& path);

// Removes one file.
Result<void> remove_file(const std::string& path);

// True when both paths name one existing file (the same volume and file index), however
// they are spelled: a copy from one onto the other would destroy it.
bool same_file(const std::string& a, const std::string& b);

// The running program's own path; nullopt when the system cannot tell it.
std::optional<std::string> running_program_path();

// A name beside `path` that no file has yet: "<path>.<tag>-<pid>-<n>.tmp".
std::string temporary_path_beside(const std::string& path, std::string_view tag);

struct DirectoryEntry {
    std::string name;      // the entry's name, UTF-8 (unpaired surrogates as U+FFFD)
    bool name_is_unicode;  // false when the name held an unpaired surrogate
    bool is_directory;     // links followed
};

// The entries of a folder in the order the file system lists them, without "." and "..";
// nullopt when the folder cannot be listed.
std::optional<std::vector<DirectoryEntry>> list_directory(const std::string& path);

// The entries of a folder with file sizes, links not followed: any reparse point (junction,
// symbolic link, mount point) is a Link. nullopt when the folder cannot be listed.
std::optional<std::vector<FolderEntry>> list_folder_entries(const std::string& path);

// The bytes of all files in a folder and its subfolders, links neither counted nor entered
// (total_file_bytes over list_folder_entries); nullopt when the folder cannot be listed.
std::optional<std::uint64_t> folder_size(const std::string& path);

}  // namespace ml
