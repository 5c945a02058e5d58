#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/console.hpp"
#include "support/std_streams.hpp"

namespace ml {
namespace {

using testing::StdHandleSwap;
using testing::StdinFeed;
using testing::StreamCapture;

TEST(Console, RedirectedStreamsGetTheUtf8Bytes) {
    const std::string text = "[\xE2\x9C\x93] done \xE2\x80\xA2 caf\xC3\xA9\n";
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        StreamCapture capture(which);
        if (which == STD_OUTPUT_HANDLE)
            out(text);
        else
            err(text);
        EXPECT_EQ(capture.finish(), text);
    }
}

TEST(Console, NoStreamMeansNoOutputAndNoFailure) {
    for (const HANDLE h : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        StdHandleSwap swap(STD_OUTPUT_HANDLE, h);
        out("goes nowhere\n");
    }
    SUCCEED();
}

TEST(Console, ReadsOneLineFromAPipe) {
    struct Case {
        std::string input;
        std::optional<std::string> first, second;
    };
    const std::vector<Case> cases = {
        {"yes\r\nrest\n", "yes", "rest"},
        {"\n", "", std::nullopt},
        {"no newline", "no newline", std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        StdinFeed feed(c.input);
        EXPECT_EQ(read_stdin_line(), c.first) << c.input;
        EXPECT_EQ(read_stdin_line(), c.second) << c.input;
    }
}

}  // namespace
}  // namespace ml
