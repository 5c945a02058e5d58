// filelock [--share-read] PATH: holds PATH open the way another program (Steam, an editor,
// a virus scanner) can, until a line or the end arrives on standard input: without sharing
// it at all, or with --share-read letting others read it but not write, rename or delete
// it. Prints "locked" once the file is held; exits 1 when it cannot be opened.
// filelock --steam-lock / --setup-lock: holds the lock on Steam's shortcut files, or the lock
// that one setup at a time holds, as an installation of ours does, in the same way (printing
// "locked" once it has it).
#include <windows.h>
#include <shellapi.h>

#include <string_view>

#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"
#include "runs/win32/setup_lock.hpp"
#include "runs/win32/steam_lock.hpp"

namespace {

template <class Lock>
int hold_lock(Lock&& lock) {
    if (!lock) {
        ml::err("filelock: " + lock.error().display() + "\n");
        return 1;
    }
    ml::out("locked\n");
    (void)ml::read_stdin_line();
    return 0;
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    if (argc == 2 && std::wstring_view(argv[1]) == L"--steam-lock")
        return hold_lock(ml::lock_steam_files(ml::RunKind::Installation));
    if (argc == 2 && std::wstring_view(argv[1]) == L"--setup-lock")
        return hold_lock(ml::lock_setup(ml::RunKind::Installation, std::nullopt));
    const bool share_read = argc == 3 && std::wstring_view(argv[1]) == L"--share-read";
    if (argc != 2 && !share_read) {
        ml::err("usage: filelock [--share-read] PATH | filelock --steam-lock | --setup-lock\n");
        return 2;
    }
    ml::UniqueFile file(CreateFileW(argv[argc - 1], GENERIC_READ, share_read ? FILE_SHARE_READ : 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ml::err("filelock: " + ml::last_os_error().display() + "\n");
        return 1;
    }
    ml::out("locked\n");
    (void)ml::read_stdin_line();
    return 0;
}
