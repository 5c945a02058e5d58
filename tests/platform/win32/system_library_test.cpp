#include "platform/win32/system_library.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/files.hpp"
#include "platform/win32/win32.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::TempDir;

// A library that lies only in the current folder is never taken, even though a load by bare
// name would find it there: the planted copy (a test tool that notes every load) stays unrun.
TEST(SystemLibrary, TakesOnlyTheSystemFoldersCopy) {
    TempDir dir;
    const std::string planted = dir / "ml-planted.dll";
    ASSERT_TRUE(copy_file(std::string(ML_TEST_TOOLS_DIR) + "/planted/urlmon.dll", planted));
    wchar_t before[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(widen(dir.path()).c_str()));

    const struct {
        const wchar_t* dll;
        const char* function;
        bool found;
        const char* error_names;
    } cases[] = {
        {L"urlmon.dll", "URLDownloadToFileW", true, ""},
        {L"comctl32.dll", "InitCommonControlsEx", true, ""},
        {L"urlmon.dll", "NoSuchFunction", false, "urlmon.dll NoSuchFunction: "},
        {L"ml-planted.dll", "URLDownloadToFileW", false, "ml-planted.dll: "},
    };
    for (const auto& c : cases) {
        const Result<FARPROC> address = system_function(c.dll, c.function);
        EXPECT_EQ(address.has_value(), c.found) << c.function;
        if (!address) {
            EXPECT_TRUE(address.error().message.starts_with(c.error_names))
                << address.error().message;
        }
    }
    SetCurrentDirectoryW(before);
    EXPECT_FALSE(path_exists(planted + ".ran"));
    // The planted copy does run when loaded the ordinary way from there, so the case above
    // shows the restriction, not a broken library.
    const HMODULE ordinary = LoadLibraryW(widen(planted).c_str());
    ASSERT_NE(ordinary, nullptr);
    FreeLibrary(ordinary);
    EXPECT_TRUE(path_exists(planted + ".ran"));
}

}  // namespace
}  // namespace ml
