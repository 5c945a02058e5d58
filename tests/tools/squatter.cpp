// squatter [--sddl SDDL] OBJECT...: makes named objects in the session, as any other program
// of the user's can before the setup does, and holds them until a line or the end arrives on
// standard input. Prints "held" once they all exist; exits 1 when one cannot be made.
//   --mutex NAME          a mutex of that name, owned
//   --section NAME TEXT   shared memory holding TEXT, in which %XX stands for the byte 0xXX
//   --mark FOLDER         the mark of a pending removal of FOLDER, as an uninstallation
//                         names it, holding "squatter"
// --sddl gives the security descriptor of the objects after it ("" for the default one).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/security.hpp"
#include "platform/win32/win32.hpp"
#include "runs/win32/setup_lock.hpp"

namespace {

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

HANDLE section(const std::wstring& name, const std::string& text, SECURITY_ATTRIBUTES* sa) {
    HANDLE h = CreateFileMappingW(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, 128, name.c_str());
    if (h == nullptr) return h;
    if (void* view = MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 128)) {
        std::memcpy(view, text.data(), std::min<std::size_t>(text.size(), 127));
        UnmapViewOfFile(view);
    }
    return h;
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    std::optional<ml::SecurityAttributes> attributes;
    std::vector<ml::UniqueHandle> held;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const auto next = [&] { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
        SECURITY_ATTRIBUTES* sa = attributes ? attributes->get() : nullptr;
        HANDLE made = nullptr;
        if (option == L"--sddl") {
            const std::wstring sddl = next();
            attributes = sddl.empty() ? std::nullopt : ml::SecurityAttributes::from_sddl(sddl);
            continue;
        } else if (option == L"--mutex") {
            made = CreateMutexW(sa, TRUE, next().c_str());
        } else if (option == L"--section") {
            const std::wstring name = next();
            made = section(name, unescaped(ml::narrow(next())), sa);
        } else if (option == L"--mark") {
            made = section(ml::removal_mark_name(ml::narrow(next())), "squatter", sa);
        } else {
            ml::err(
                "usage: squatter [--sddl SDDL] (--mutex NAME | --section NAME TEXT | "
                "--mark FOLDER)...\n");
            return 2;
        }
        if (made == nullptr) {
            ml::err("squatter: " + ml::last_os_error().display() + "\n");
            return 1;
        }
        held.emplace_back(made);
    }
    ml::out("held\n");
    (void)ml::read_stdin_line();
    return 0;
}
