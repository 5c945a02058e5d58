#pragma once

// The Windows tools this program starts (reg, cmd, curl, powershell, and ping,
// which cmd runs for it) are always taken from the system folder. Found by search
// instead, a reg.exe lying beside the setup in a Downloads folder, or in the current folder,
// would run first.
#include <optional>
#include <string>
#include <string_view>

namespace ml {

// The full path of a system tool given by its bare name (any letter case, ".exe" optional):
// <system folder>\<name>.exe, PowerShell under WindowsPowerShell\v1.0. nullopt for any other
// program, which is then started as given.
std::optional<std::string> system_tool_path(std::string_view program);

}  // namespace ml
