// argecho: prints its raw command line, then each argument as CommandLineToArgvW split it,
// one per line in debug form (UTF-8). With ARGECHO_LOG set, appends the same lines to that
// file instead, so that a test can see what a hidden child received. Exits with the status
// in ARGECHO_EXIT (default 0).
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/handle.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

int wmain() {
    std::string report = ml::debug_quote(ml::narrow(GetCommandLineW())) + "\n";
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    for (int i = 1; i < argc; ++i) report += ml::debug_quote(ml::narrow(argv[i])) + "\n";

    if (auto log = ml::env_var_wide("ARGECHO_LOG")) {
        ml::UniqueFile file(CreateFileW(log->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (file)
            WriteFile(file.get(), report.data(), static_cast<DWORD>(report.size()), &written,
                      nullptr);
    } else {
        ml::out(report);
    }
    const auto code = ml::env_var("ARGECHO_EXIT");
    return code ? std::stoi(*code) : 0;
}
