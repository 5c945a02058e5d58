#include <gtest/gtest.h>

#include "cli/options.hpp"

namespace ml {
namespace {

TEST(HelpText, LayoutAndOrigin) {
    const std::string text = help_text("https://origin.example");
    EXPECT_TRUE(text.starts_with("Marrowlane Setup & Steam Gridloom\n\nUSAGE:\n"));
    EXPECT_TRUE(text.ends_with("    -h, --help               Show this help message\n\n"));
    EXPECT_NE(text.find("(default: https://origin.example)\n"), std::string::npos);
    EXPECT_NE(text.find("(default: %LOCALAPPDATA%\\Marrowlane)\n"), std::string::npos);
    // Every option line puts its description in column 30.
    std::size_t start = 0, option_lines = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (line.starts_with("    -")) {
            ++option_lines;
            ASSERT_GT(line.size(), 29u) << line;
            EXPECT_NE(line[29], ' ') << line;
            EXPECT_EQ(line[28], ' ') << line;
        }
        start = end + 1;
    }
    EXPECT_EQ(option_lines, 25u);
    // The accepted aliases are not advertised.
    EXPECT_EQ(text.find("--start-menu"), std::string::npos);
    EXPECT_EQ(text.find("--game-name"), std::string::npos);
}

}  // namespace
}  // namespace ml
