#include <gtest/gtest.h>

#include "platform/cmdline.hpp"

namespace ml {
namespace {

TEST(WindowsArgument, Quoting) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain"},
        {"", R"("")"},
        {"two words", R"("two words")"},
        {"tab\there", "\"tab\there\""},
        {R"(C:\Program Files\x\)", R"("C:\Program Files\x\\")"},
        {R"(C:\dir\)", R"(C:\dir\)"},
        {R"(a"b)", R"(a\"b)"},
        {R"(a\"b)", R"(a\\\"b)"},
        {R"(a\\"b)", R"(a\\\\\"b)"},
        {R"(a\b)", R"(a\b)"},
        {R"("quoted")", R"(\"quoted\")"},
        {R"(say "hi" now)", R"("say \"hi\" now")"},
        {R"(end\\)", R"(end\\)"},
        {R"(sp end\\)", R"("sp end\\\\")"},
        {"\xE2\x9C\x93 mark", "\"\xE2\x9C\x93 mark\""},
    };
    for (const auto& [arg, expected] : cases) {
        std::string line;
        append_windows_argument(line, arg);
        EXPECT_EQ(line, expected) << arg;
    }
}

TEST(WindowsArgument, JoinQuotesTheProgramAndRejectsNul) {
    const std::vector<std::string> args = {"query", "HKCU\\Software\\Valve\\Steam", "/v",
                                           "SteamPath"};
    EXPECT_EQ(join_command_line("reg", args).value(),
              R"("reg" query HKCU\Software\Valve\Steam /v SteamPath)");
    EXPECT_EQ(join_command_line("C:\\Program Files\\Steam\\steam.exe", {}).value(),
              R"("C:\Program Files\Steam\steam.exe")");
    const std::vector<std::string> with_nul = {std::string("a\0b", 3)};
    const auto bad = join_command_line("reg", with_nul);
    ASSERT_FALSE(bad.has_value());
    EXPECT_EQ(bad.error().kind, ErrorKind::InvalidInput);
    EXPECT_FALSE(join_command_line(std::string("r\0eg", 4), {}).has_value());
}

TEST(WindowsArgument, RawTailIsAppendedUnquoted) {
    const std::vector<std::string> c = {"/c"};
    EXPECT_EQ(
        join_command_line("cmd", c, R"(ping 127.0.0.1 -n 2 > nul & rmdir /s /q "C: b")").value(),
        R"("cmd" /c ping 127.0.0.1 -n 2 > nul & rmdir /s /q "C: b")");
    EXPECT_EQ(join_command_line("cmd", c, "").value(), R"("cmd" /c)");
    EXPECT_FALSE(join_command_line("cmd", c, std::string("a\0b", 3)).has_value());
}

}  // namespace
}  // namespace ml
