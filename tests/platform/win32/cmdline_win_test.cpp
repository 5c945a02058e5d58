#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "platform/cmdline.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// What CommandLineToArgvW makes of a command line, arguments after the program only.
std::vector<std::string> split(const std::string& line) {
    int argc = 0;
    const std::wstring wide = widen(line);
    wchar_t** argv = CommandLineToArgvW(wide.c_str(), &argc);
    UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));
    return args;
}

TEST(CommandLineRoundTrip, CommandLineToArgvWGivesTheArgumentsBack) {
    const std::vector<std::vector<std::string>> cases = {
        {"plain"},
        {""},
        {"", "", ""},
        {"two words", "tab\there"},
        {R"(C:\Program Files\x\)", R"(C:\dir\)", R"(\\server\share\)"},
        {R"(a"b)", R"(a\"b)", R"(a\\"b)", R"(")", R"(\")", R"(\\)"},
        {R"(say "hi" now)", R"("quoted")", R"(end\\ )"},
        {"imagename eq steam.exe", "/fi"},
        {"\xE2\x9C\x93 caf\xC3\xA9", "\xE6\xBC\xA2\xE5\xAD\x97", "\xF0\x9F\x8E\xAE"},
        {"Invoke-WebRequest -Uri 'http://x/a b' -OutFile 'C:\\o\\'"},
    };
    for (const auto& args : cases) {
        const auto line = join_command_line("C:\\Program Files\\tool.exe", args);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(split(*line), args) << *line;
    }
}

}  // namespace
}  // namespace ml
