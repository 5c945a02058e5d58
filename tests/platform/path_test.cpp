#include <gtest/gtest.h>

#include "platform/path.hpp"

namespace ml {
namespace {

TEST(Path, JoinParentFileName) {
    struct JoinCase {
        std::string base, component, joined;
    };
    const std::vector<JoinCase> joins = {
        {R"(C:\Steam)", "userdata", R"(C:\Steam\userdata)"},
        {R"(C:\Steam\)", "userdata", R"(C:\Steam\userdata)"},
        {"c:/program files (x86)/steam", "userdata", R"(c:/program files (x86)/steam\userdata)"},
        {"", "x", "x"},
        {R"(C:\a)", R"(D:\b)", R"(D:\b)"},
        {R"(C:\a)", R"(\b)", R"(\b)"},
        {"./.steam/steam", "userdata", R"(./.steam/steam\userdata)"},
    };
    for (const auto& c : joins) EXPECT_EQ(path_join(c.base, c.component), c.joined) << c.base;

    const std::vector<std::pair<std::string, std::string>> parents = {
        {R"(C:\a\b)", R"(C:\a)"},
        {R"(C:\a)", R"(C:\)"},
        {R"(C:\a\)", R"(C:\)"},
        {R"(C:\a\\b)", R"(C:\a)"},
        {"a/b/c", "a/b"},
        {"file", ""},
        {R"(\\srv\share\x)", R"(\\srv\share)"},
    };
    for (const auto& [path, parent] : parents) EXPECT_EQ(path_parent(path), parent) << path;

    EXPECT_EQ(path_file_name(R"(C:\g\1p.png)"), "1p.png");
    EXPECT_EQ(path_file_name("a/b"), "b");
    EXPECT_EQ(path_file_name(R"(C:\g\)"), "");
    EXPECT_EQ(path_file_name("plain"), "plain");
}

TEST(Path, VerbatimPrefixDropped) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(\\?\C:\Users\z\sync\shortcuts.vdf)", R"(C:\Users\z\sync\shortcuts.vdf)"},
        {R"(\\?\z:\tmp\a)", R"(z:\tmp\a)"},
        {R"(\\?\UNC\srv\share\a.vdf)", R"(\\srv\share\a.vdf)"},
        {R"(\\?\unc\srv\share)", R"(\\srv\share)"},
        // A volume name has no everyday form; nor does an unknown verbatim path.
        {R"(\\?\Volume{1234}\a)", R"(\\?\Volume{1234}\a)"},
        {R"(C:\a)", R"(C:\a)"},
        {R"(\\srv\share\a)", R"(\\srv\share\a)"},
        {R"(\\.\C:\a)", R"(\\.\C:\a)"},
        {"", ""},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(without_verbatim_prefix(path), expected) << path;
}

TEST(Path, OnlyRootedPathsCountAsAbsolute) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {R"(C:\Program Files (x86)\Steam)", true},
        {"c:/program files (x86)/steam", true},
        {R"(D:\)", true},
        {R"(\\server\share\Steam)", true},
        {R"(\\?\C:\Steam)", true},
        // The home-folder layouts without HOME, and other forms that depend on the current
        // folder or the current drive's folder.
        {"./.steam/steam", false},
        {".steam/steam", false},
        {"./.local/share/Steam", false},
        {R"(..\Steam)", false},
        {"Steam", false},
        {"", false},
        {"C:", false},
        {"C:Steam", false},
        {R"(\Steam)", false},
        {"/.steam/steam", false},
        {R"(\\)", false},
        {R"(\\\x)", false},
    };
    for (const auto& [path, absolute] : cases) EXPECT_EQ(is_absolute_path(path), absolute) << path;
}

// The removal after an uninstallation takes these from its command line: none may lead
// out of the folder by its text.
TEST(Path, PlainRelativePathsStayInTheFolder) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"Marrowlane-Setup.exe", true},
        {R"(saves\old\slot 1.dat)", true},
        {"J\xC3\xB6rg's & (1) %OS%.txt", true},
        {"", false},
        {R"(..\outside.txt)", false},
        {R"(saves\..\..\x)", false},
        {R"(.\x)", false},
        {R"(\rooted.txt)", false},
        {R"(C:\x)", false},
        {"C:x", false},
        {"file.txt:stream", false},
        {"a/b", false},
        {R"(sub\\double)", false},
        {R"(sub\)", false},
        {"a*", false},
        {"a\nb", false},
    };
    for (const auto& [path, plain] : cases) EXPECT_EQ(is_plain_relative_path(path), plain) << path;
}

}  // namespace
}  // namespace ml
