#pragma once

// Small helpers shared by every Win32 wrapper: wide strings and OS errors.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/error.hpp"

namespace ml {

// UTF-8 to UTF-16 for a W call (invalid UTF-8 becomes U+FFFD). c_str() is NUL-terminated.
std::wstring widen(std::string_view utf8);

// UTF-16 from a W call to UTF-8 (unpaired surrogates become U+FFFD).
std::string narrow(std::wstring_view wide);

// True when the UTF-16 text has no unpaired surrogate, so it converts without loss.
bool is_valid_utf16(std::wstring_view wide) noexcept;

// The system's message for a Win32 error code, without the trailing line break.
std::string system_message(DWORD code);

// An Error for a Win32 error code, with its system message.
Error os_error(DWORD code);

// An Error for GetLastError().
Error last_os_error();

// The path the system says an open file or folder handle stands for, every link on the way
// followed (GetFinalPathNameByHandleW, in its \\?\ form); empty when it cannot say.
std::wstring final_path_of(HANDLE handle);

// True when two paths are the same text as the file system compares names: without regard
// to letter case.
bool same_path_text(std::wstring_view a, std::wstring_view b);

// Calls `visit` with each entry of a folder as FindFirstFileW lists it (links not followed),
// "." and ".." left out. False when the folder cannot be listed.
bool for_each_folder_entry(const std::wstring& folder,
                           const std::function<void(const WIN32_FIND_DATAW&)>& visit);

}  // namespace ml
