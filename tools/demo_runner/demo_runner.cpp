// marrowlane-demo-runner: stands in for the Marrowlane runner in the demonstration. It shows
// the game address it was started with (--url ADDRESS, as the Steam shortcut passes it) and
// its working folder, in a message box, or on standard output with --print.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

void write_utf8(HANDLE stream, const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring url = L"(none)";
    bool print = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--url" && i + 1 < argc) url = argv[++i];
        if (arg == L"--print") print = true;
    }
    LocalFree(argv);
    wchar_t folder[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring text =
        L"Marrowlane demo runner\nGame address: " + url + L"\nWorking folder: " + folder + L"\n";
    if (print) {
        write_utf8(GetStdHandle(STD_OUTPUT_HANDLE), text);
    } else {
        MessageBoxW(nullptr, text.c_str(), L"Marrowlane", MB_OK | MB_ICONINFORMATION);
    }
    return 0;
}
