#include "win_gui/win32/console_attach.hpp"

#include <windows.h>

namespace ml {
namespace {

bool is_redirected(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(h);
    return type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK;
}

bool is_console(HANDLE h) {
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

}  // namespace

void attach_console() {
    constexpr DWORD kStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE before[3];
    for (int i = 0; i < 3; ++i) before[i] = GetStdHandle(kStreams[i]);

    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;

    for (int i = 0; i < 3; ++i) {
        // Output that the caller captures must not be taken over by the console.
        if (is_redirected(before[i])) {
            SetStdHandle(kStreams[i], before[i]);
            continue;
        }
        const HANDLE now = GetStdHandle(kStreams[i]);
        if (is_console(now)) continue;
        const wchar_t* device = i == 0 ? L"CONIN$" : L"CONOUT$";
        // Owned by the process for its whole life, as standard handles are.
        const HANDLE h =
            CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) SetStdHandle(kStreams[i], h);
    }
}

}  // namespace ml
