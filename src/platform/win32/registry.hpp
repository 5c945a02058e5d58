#pragma once

// The registry through its own interface, on UTF-8 names and texts: text outside the OEM code
// page (a Steam folder such as D:\Игры\Steam) arrives intact, as the `reg` tool's redirected
// output would not.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.hpp"
#include "platform/win32/handle.hpp"

namespace ml {

// Opens the key below root for writing, creating it and its missing ancestors.
Result<UniqueKey> create_registry_key(HKEY root, std::string_view subkey);

// Writes a REG_SZ value (the text with its terminating NUL), replacing any earlier value.
Result<void> set_registry_string(HKEY key, std::string_view name, std::string_view text);

// Writes a REG_DWORD value, replacing any earlier value.
Result<void> set_registry_dword(HKEY key, std::string_view name, std::uint32_t value);

// Removes the key below root with every value and subkey in it; success when the key is
// not there (any more).
Result<void> delete_registry_tree(HKEY root, std::string_view subkey);

// The REG_SZ value `value_name` of `key`, a path that begins with its root ("HKCU\...",
// "HKLM\...", or the long names HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE), as UTF-8.
// nullopt when the key or value is missing, is of another type, or the root is unknown.
std::optional<std::string> read_registry_string(std::string_view key, std::string_view value_name);

}  // namespace ml
