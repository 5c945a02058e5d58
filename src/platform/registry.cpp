#include "platform/registry.hpp"

#include "platform/win32.hpp"

namespace ml {

Result<UniqueKey> create_registry_key(HKEY root, std::string_view subkey) {
    UniqueKey key;
    const LONG status =
        RegCreateKeyExW(root, widen(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
    return key;
}

Result<void> set_registry_string(HKEY key, std::string_view name, std::string_view text) {
    const std::wstring data = widen(text);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LONG status = RegSetValueExW(key, widen(name).c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(data.c_str()), bytes);
    if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
    return {};
}

Result<void> set_registry_dword(HKEY key, std::string_view name, std::uint32_t value) {
    const DWORD data = value;
    const LONG status = RegSetValueExW(key, widen(name).c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&data), sizeof data);
    if (status != ERROR_SUCCESS) return std::unexpected(os_error(static_cast<DWORD>(status)));
    return {};
}

}  // namespace ml
