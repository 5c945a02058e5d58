#include <gtest/gtest.h>
#include <windows.h>

#include "platform/console.hpp"
#include "platform/handle.hpp"

namespace ml {
namespace {

// Points one standard handle somewhere else for the life of the object.
class StdHandleSwap {
  public:
    StdHandleSwap(DWORD which, HANDLE h) : which_(which), old_(GetStdHandle(which)) {
        SetStdHandle(which, h);
    }
    ~StdHandleSwap() { SetStdHandle(which_, old_); }

  private:
    DWORD which_;
    HANDLE old_;
};

struct Pipe {
    UniqueHandle read, write;
    Pipe() { CreatePipe(read.put(), write.put(), nullptr, 1 << 16); }
    std::string drain() {
        write.reset();
        std::string data;
        char buf[4096];
        DWORD got = 0;
        while (ReadFile(read.get(), buf, sizeof buf, &got, nullptr) && got > 0)
            data.append(buf, got);
        return data;
    }
};

TEST(Console, RedirectedStreamsGetTheUtf8Bytes) {
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        Pipe pipe;
        {
            StdHandleSwap swap(which, pipe.write.get());
            const std::string text = "[\xE2\x9C\x93] done \xE2\x80\xA2 caf\xC3\xA9\n";
            if (which == STD_OUTPUT_HANDLE)
                out(text);
            else
                err(text);
        }
        EXPECT_EQ(pipe.drain(), "[\xE2\x9C\x93] done \xE2\x80\xA2 caf\xC3\xA9\n");
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
        Pipe pipe;
        DWORD written = 0;
        WriteFile(pipe.write.get(), c.input.data(), static_cast<DWORD>(c.input.size()), &written,
                  nullptr);
        pipe.write.reset();
        StdHandleSwap swap(STD_INPUT_HANDLE, pipe.read.get());
        EXPECT_EQ(read_stdin_line(), c.first) << c.input;
        EXPECT_EQ(read_stdin_line(), c.second) << c.input;
    }
}

}  // namespace
}  // namespace ml
