#pragma once

// Appends one line to the file named by an environment variable, so that a test can see
// what a fake tool was asked to do even when its output went to the null device.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/env.hpp"
#include "platform/win32/handle.hpp"

namespace ml::testing {

inline void append_log_line(std::string_view variable, const std::string& line) {
    const auto log = env_var_wide(variable);
    if (!log || log->empty()) return;
    UniqueFile file(CreateFileW(log->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string text = line + "\n";
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace ml::testing
