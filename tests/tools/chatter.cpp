// chatter LINES [SLEEP_MS [EXIT [CHILD_SLEEP_MS]]]: writes LINES numbered lines to standard
// output and as many to standard error, in alternating blocks, then sleeps and exits with
// EXIT. With CHILD_SLEEP_MS it first starts another chatter that sleeps that long, holding
// the same standard handles, as a tool that leaves a helper behind would. A console
// program, so that an ordinary start would give it a console window.
#include <windows.h>

#include <string>

namespace {

void write(HANDLE stream, const std::string& text) {
    DWORD written = 0;
    WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const long lines = argc > 1 ? std::stol(argv[1]) : 0;
    const long sleep_ms = argc > 2 ? std::stol(argv[2]) : 0;
    const unsigned long code = argc > 3 ? std::stoul(argv[3]) : 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (argc > 4) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" 0 " + argv[4] + L" 0";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = err;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    // Blocks of up to 100 lines, alternating between the streams.
    for (long first = 0; first < lines; first += 100) {
        std::string out_block, err_block;
        for (long i = first; i < lines && i < first + 100; ++i) {
            out_block += "out " + std::to_string(i) + "\n";
            err_block += "err " + std::to_string(i) + "\n";
        }
        write(out, out_block);
        write(err, err_block);
    }
    Sleep(static_cast<DWORD>(sleep_ms));
    ExitProcess(static_cast<UINT>(code));
}
