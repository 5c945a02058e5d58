#pragma once

// The registry through its own interface, on UTF-8 names and texts.
#include <cstdint>
#include <string_view>

#include "platform/error.hpp"
#include "platform/handle.hpp"

namespace ml {

// Opens the key below root for writing, creating it and its missing ancestors.
Result<UniqueKey> create_registry_key(HKEY root, std::string_view subkey);

// Writes a REG_SZ value (the text with its terminating NUL), replacing any earlier value.
Result<void> set_registry_string(HKEY key, std::string_view name, std::string_view text);

// Writes a REG_DWORD value, replacing any earlier value.
Result<void> set_registry_dword(HKEY key, std::string_view name, std::uint32_t value);

}  // namespace ml
