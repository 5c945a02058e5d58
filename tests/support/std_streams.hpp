#pragma once

// Standard streams pointed at pipes for Windows tests of code that prints or reads them.
#include <windows.h>

#include <string>
#include <string_view>
#include <thread>

#include "platform/win32/handle.hpp"

namespace ml::testing {

// Points one standard handle somewhere else for the life of the object.
class StdHandleSwap {
  public:
    StdHandleSwap(DWORD which, HANDLE h) : which_(which), old_(GetStdHandle(which)) {
        SetStdHandle(which, h);
    }
    ~StdHandleSwap() { SetStdHandle(which_, old_); }
    StdHandleSwap(const StdHandleSwap&) = delete;
    StdHandleSwap& operator=(const StdHandleSwap&) = delete;

  private:
    DWORD which_;
    HANDLE old_;
};

// Points a standard stream at a pipe for the life of the object and collects what arrives.
class StreamCapture {
  public:
    explicit StreamCapture(DWORD which) : which_(which), old_(GetStdHandle(which)) {
        CreatePipe(read_.put(), write_.put(), nullptr, 1 << 16);
        SetStdHandle(which_, write_.get());
        reader_ = std::thread([this] {
            char buf[4096];
            DWORD got = 0;
            while (ReadFile(read_.get(), buf, sizeof buf, &got, nullptr) && got > 0)
                text_.append(buf, got);
        });
    }
    ~StreamCapture() { finish(); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // Everything written so far; the stream is given back.
    const std::string& finish() {
        if (reader_.joinable()) {
            SetStdHandle(which_, old_);
            write_.reset();
            reader_.join();
        }
        return text_;
    }

  private:
    DWORD which_;
    HANDLE old_;
    UniqueHandle read_, write_;
    std::thread reader_;
    std::string text_;
};

// Standard input from a pipe holding the given bytes, for the life of the object.
class StdinFeed {
  public:
    explicit StdinFeed(std::string_view bytes) : old_(GetStdHandle(STD_INPUT_HANDLE)) {
        CreatePipe(read_.put(), write_.put(), nullptr, 1 << 16);
        DWORD written = 0;
        WriteFile(write_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        write_.reset();
        SetStdHandle(STD_INPUT_HANDLE, read_.get());
    }
    ~StdinFeed() { SetStdHandle(STD_INPUT_HANDLE, old_); }
    StdinFeed(const StdinFeed&) = delete;
    StdinFeed& operator=(const StdinFeed&) = delete;

    // What the run left unread.
    std::string rest() {
        std::string text;
        char buf[256];
        DWORD got = 0;
        while (ReadFile(read_.get(), buf, sizeof buf, &got, nullptr) && got > 0)
            text.append(buf, got);
        return text;
    }

  private:
    HANDLE old_;
    UniqueHandle read_, write_;
};

}  // namespace ml::testing
