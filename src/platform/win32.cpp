#include "platform/win32.hpp"

#include "platform/handle.hpp"
#include "platform/text.hpp"

namespace ml {

std::wstring widen(std::string_view utf8) {
    const std::u16string u16 = utf8_to_utf16(utf8);
    return std::wstring(u16.begin(), u16.end());
}

std::string narrow(std::wstring_view wide) {
    return utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

bool is_valid_utf16(std::wstring_view wide) noexcept {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const wchar_t u = wide[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::string system_message(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD len = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocal owner(buffer);
    if (len == 0 || buffer == nullptr) return "Unknown error " + std::to_string(code);
    std::wstring_view text(buffer, len);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
        text.remove_suffix(1);
    }
    return narrow(text);
}

Error os_error(DWORD code) {
    return Error::os(code, system_message(code));
}

Error last_os_error() {
    return os_error(GetLastError());
}

}  // namespace ml
