// filelock PATH: holds PATH open without sharing it, the way another program (Steam, an
// editor, a virus scanner) can, until a line or the end arrives on standard input. Prints
// "locked" once the file is held; exits 1 when it cannot be opened.
#include <windows.h>
#include <shellapi.h>

#include "platform/console.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    if (argc != 2) {
        ml::err("usage: filelock PATH\n");
        return 2;
    }
    ml::UniqueFile file(CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ml::err("filelock: " + ml::last_os_error().display() + "\n");
        return 1;
    }
    ml::out("locked\n");
    (void)ml::read_stdin_line();
    return 0;
}
