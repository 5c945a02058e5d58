#pragma once

// A fresh folder under %TEMP% for one Windows test, removed with its content afterwards.
#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/win32/win32.hpp"

namespace ml::testing {

class TempDir {
  public:
    TempDir() {
        wchar_t buf[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, buf);
        path_ = temporary_path_beside(path_join(narrow(buf), "ml-test"), "dir");
        (void)create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(widen(path_)), ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The path of a name inside the folder.
    std::string operator/(std::string_view name) const { return path_join(path_, name); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace ml::testing
