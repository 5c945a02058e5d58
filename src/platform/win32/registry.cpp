#include "platform/win32/registry.hpp"

#include <windows.h>

#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// The predefined key a path starts with, and the rest of the path after its separator.
std::optional<std::pair<HKEY, std::string_view>> split_root(std::string_view key) {
    const std::size_t slash = key.find('\\');
    const std::string root = ascii_lower(key.substr(0, slash));
    const std::string_view rest =
        slash == std::string_view::npos ? std::string_view() : key.substr(slash + 1);
    if (root == "hkcu" || root == "hkey_current_user") return std::pair{HKEY_CURRENT_USER, rest};
    if (root == "hklm" || root == "hkey_local_machine") {
        return std::pair{HKEY_LOCAL_MACHINE, rest};
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> read_registry_string(std::string_view key, std::string_view value_name) {
    const auto root = split_root(key);
    if (!root) return std::nullopt;
    const std::wstring sub_key = widen(root->second);
    const std::wstring value = widen(value_name);
    // The size first, then the read; a value that grows in between is read again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LONG status = RegGetValueW(root->first, sub_key.c_str(), value.c_str(), RRF_RT_REG_SZ,
                                   nullptr, nullptr, &bytes);
        if (status != ERROR_SUCCESS) return std::nullopt;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        status = RegGetValueW(root->first, sub_key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr,
                              text.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return std::nullopt;
        // RegGetValueW ends the text with a NUL and counts it in bytes.
        text.resize(bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return narrow(text);
    }
    return std::nullopt;
}

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

Result<void> delete_registry_tree(HKEY root, std::string_view subkey) {
    // An empty name would empty the root key itself.
    if (subkey.empty()) return fail(ErrorKind::InvalidInput, "no registry key to delete");
    const LONG status = RegDeleteTreeW(root, widen(subkey).c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return {};
    return std::unexpected(os_error(static_cast<DWORD>(status)));
}

}  // namespace ml
