#pragma once

#include <string>
#include <string_view>

namespace ml {

// Windows paths held as UTF-8 text. Both '\' and '/' separate components.

// True for '\' and '/'.
constexpr bool is_separator(char c) noexcept {
    return c == '\\' || c == '/';
}

// True when the path begins with a drive letter and a colon ("C:", "d:\\x").
bool has_drive_letter(std::string_view path) noexcept;

// True for a path that names the same place whatever the current folder and drive: a drive
// letter, colon and separator ("C:\\x", "d:/x"), or a UNC or device path ("\\\\server\\share",
// "\\\\?\\C:\\x") with at least one character after its two separators. "C:x", "\\x" and
// "x" are relative to something the program does not choose.
bool is_absolute_path(std::string_view path) noexcept;

// base joined with one or more components by '\' (no separator is added when base is empty
// or already ends in one). A component that is itself absolute (a drive or a root) replaces
// base, as on Windows.
std::string path_join(std::string_view base, std::string_view component);

// The folder part: everything before the last separator ("C:\a\b" -> "C:\a", "C:\a" -> "C:\");
// empty when there is no separator.
std::string path_parent(std::string_view path);

// The last component ("C:\a\b.txt" -> "b.txt"); empty for a path ending in a separator.
std::string_view path_file_name(std::string_view path);

// True for a path inside a folder made only of names joined by backslashes, as a folder
// listing gives them: no empty name, no "." or "..", no drive or stream colon, no forward
// slash, wildcard or control character. Such a path cannot lead out of the folder by its
// text (a link on the way still can).
bool is_plain_relative_path(std::string_view path) noexcept;

// The everyday form of a path that the system gave in its verbatim form: "\\?\C:\a" is
// "C:\a", "\\?\UNC\server\share\a" is "\\server\share\a"; any other path is returned as is.
std::string without_verbatim_prefix(std::string_view path);

}  // namespace ml
