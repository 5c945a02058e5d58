#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ml {

// The value of an environment variable: nullopt when it is unset or not valid Unicode;
// an empty value is a value.
std::optional<std::string> env_var(std::string_view name);

// The same, as raw UTF-16 (unpaired surrogates kept), for values used as paths.
std::optional<std::wstring> env_var_wide(std::string_view name);

}  // namespace ml
