#pragma once

// Reading values from the registry through the W interface, so that text outside the OEM
// code page (a Steam folder such as D:\Игры\Steam) arrives intact, as the `reg` tool's
// redirected output would not.
#include <optional>
#include <string>
#include <string_view>

namespace ml {

// The REG_SZ value `value_name` of `key`, a path that begins with its root ("HKCU\...",
// "HKLM\...", or the long names HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE), as UTF-8.
// nullopt when the key or value is missing, is of another type, or the root is unknown.
std::optional<std::string> read_registry_string(std::string_view key, std::string_view value_name);

}  // namespace ml
