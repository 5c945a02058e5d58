// A library planted beside a program, as a web page may drop one into a Downloads folder:
// built as urlmon.dll and comctl32.dll, it notes in "<its own path>.ran" every process that
// loaded it. It exports the functions the setup ever took from the real libraries, each
// failing, so that a program that imports them starts and the note is written.
#include <windows.h>

namespace {

void note_load(HINSTANCE self) {
    wchar_t path[MAX_PATH + 8];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    lstrcatW(path, L".ran");
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    char line[4 * MAX_PATH];
    int size = WideCharToMultiByte(CP_UTF8, 0, program, static_cast<int>(length), line,
                                   static_cast<int>(sizeof line) - 1, nullptr, nullptr);
    if (size < 0) size = 0;
    line[size++] = '\n';
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) note_load(self);
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI
    URLDownloadToFileW(void*, const wchar_t*, const wchar_t*, DWORD, void*) {
    return E_FAIL;
}

__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*) {
    return FALSE;
}

__declspec(dllexport) void WINAPI InitCommonControls() {}

}  // extern "C"
