#include "platform/win32/console.hpp"

#include <algorithm>

#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

void write_to(DWORD which, std::string_view utf8) {
    if (utf8.empty()) return;
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        // A console shows UTF-16 correctly whatever its code page; raw UTF-8 would be garbled.
        const std::wstring wide = widen(utf8);
        std::size_t done = 0;
        while (done < wide.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
            DWORD written = 0;
            if (!WriteConsoleW(h, wide.data() + done, chunk, &written, nullptr) || written == 0) {
                return;
            }
            done += written;
        }
        return;
    }
    // Text from users' files keeps its bytes inside the program (a Windows-1252 path must
    // survive a rewrite), but what a pipe or log receives is always UTF-8.
    std::string repaired;
    if (!is_valid_utf8(utf8)) {
        repaired = sanitize_utf8(utf8);
        utf8 = repaired;
    }
    std::size_t done = 0;
    while (done < utf8.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(h, utf8.data() + done, chunk, &written, nullptr) || written == 0) return;
        done += written;
    }
}

}  // namespace

void out(std::string_view utf8) {
    write_to(STD_OUTPUT_HANDLE, utf8);
}

void err(std::string_view utf8) {
    write_to(STD_ERROR_HANDLE, utf8);
}

std::optional<std::string> read_stdin_line() {
    const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        std::wstring line;
        for (;;) {
            wchar_t c = 0;
            DWORD read = 0;
            if (!ReadConsoleW(h, &c, 1, &read, nullptr) || read == 0) {
                return line.empty() ? std::nullopt : std::optional(narrow(line));
            }
            if (c == L'\n') break;
            if (c != L'\r') line.push_back(c);
        }
        return narrow(line);
    }
    std::string line;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!ReadFile(h, &c, 1, &read, nullptr) || read == 0) {
            return line.empty() ? std::nullopt : std::optional(line);
        }
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace ml
