#include "platform/win32/win32.hpp"

#include "platform/win32/handle.hpp"
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

std::wstring final_path_of(HANDLE handle) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);  // n counts the terminating NUL when the buffer was too small
    }
}

bool same_path_text(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool for_each_folder_entry(const std::wstring& folder,
                           const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    // As path_join would: a separator only where the folder does not end in one.
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    // The short 8.3 names are not needed; leaving them out spares the file system a lookup.
    UniqueFind find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find) return false;
    do {
        const std::wstring_view name(data.cFileName);
        if (name != L"." && name != L"..") visit(data);
    } while (FindNextFileW(find.get(), &data));
    return true;
}

}  // namespace ml
