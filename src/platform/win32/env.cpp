#include "platform/win32/env.hpp"

#include "platform/win32/win32.hpp"

namespace ml {

std::optional<std::wstring> env_var_wide(std::string_view name) {
    const std::wstring wname = widen(name);
    std::wstring value(128, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD len =
            GetEnvironmentVariableW(wname.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (len == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::wstring();  // set, but empty
        }
        if (len < value.size()) {
            value.resize(len);
            return value;
        }
        value.resize(len);  // len includes the terminating NUL here
    }
}

std::optional<std::string> env_var(std::string_view name) {
    auto wide = env_var_wide(name);
    if (!wide || !is_valid_utf16(*wide)) return std::nullopt;
    return narrow(*wide);
}

}  // namespace ml
