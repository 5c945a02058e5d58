#include "platform/win32/system_tools.hpp"

#include <windows.h>

#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// The system folder (C:\Windows\System32); empty when Windows cannot say.
std::wstring system_directory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const UINT n = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(n);  // n counts the NUL when the buffer was too small
    }
}

}  // namespace

std::optional<std::string> system_tool_path(std::string_view program) {
    std::string name = ascii_lower(program);
    if (name.ends_with(".exe")) name.resize(name.size() - 4);
    const bool known = name == "reg" || name == "cmd" || name == "curl" || name == "powershell" ||
                       name == "ping";
    if (!known) return std::nullopt;
    const std::wstring system = system_directory();
    // Without the system folder the tool is not started at all rather than searched for.
    if (system.empty()) return std::string("\\\\?\\no-system-folder\\" + name + ".exe");
    std::wstring path = system;
    if (name == "powershell") path += L"\\WindowsPowerShell\\v1.0";
    path += L"\\" + widen(name) + L".exe";
    return narrow(path);
}

}  // namespace ml
