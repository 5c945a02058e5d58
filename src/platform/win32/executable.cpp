#include "platform/win32/executable.hpp"

#include <windows.h>

#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

namespace ml {

bool is_valid_executable_for_platform(const std::string& path) {
    if (!is_regular_file(path)) return false;
    UniqueFile file(CreateFileW(widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char mark[2] = {};
    DWORD got = 0;
    // One read may return less than asked (a pipe-like file system), so read until two bytes.
    DWORD total = 0;
    while (total < sizeof mark) {
        if (!ReadFile(file.get(), mark + total, sizeof mark - total, &got, nullptr) || got == 0) {
            return false;
        }
        total += got;
    }
    return mark[0] == 'M' && mark[1] == 'Z';
}

}  // namespace ml
