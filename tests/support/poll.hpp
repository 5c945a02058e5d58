#pragma once

// Waiting for something another thread or process does, with a deadline, so that no test
// can hang.
#include <windows.h>

namespace ml::testing {

// Calls done() every few milliseconds until it returns true (true) or timeout_ms has passed
// (false). The default is generous: the first window of a Wine session waits for Wine to
// start its desktop process, which can take seconds.
template <class Done>
bool poll_until(Done&& done, DWORD timeout_ms = 60000) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(5);
    }
}

}  // namespace ml::testing
