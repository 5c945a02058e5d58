#include <gtest/gtest.h>

#include "win_gui/win32/wide.hpp"

namespace ml {
namespace {

TEST(ToWide, EncodesUtf16WithTerminator) {
    EXPECT_EQ(to_wide(""), L"");
    EXPECT_EQ(to_wide("").c_str()[0], L'\0');
    EXPECT_EQ(to_wide("Marrowlane \xE2\x9C\x93"), L"Marrowlane \u2713");
    const std::wstring emoji = to_wide("\xF0\x9F\x8E\xAE");
    ASSERT_EQ(emoji.size(), 2u);
    EXPECT_EQ(emoji[0], 0xD83C);
    EXPECT_EQ(emoji[1], 0xDFAE);
    // A NUL inside ends the string as Win32 sees it.
    const std::wstring with_nul = to_wide(std::string("ab\0cd", 5));
    EXPECT_EQ(std::wstring(with_nul.c_str()), L"ab");
}

}  // namespace
}  // namespace ml
