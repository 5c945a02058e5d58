#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/files.hpp"
#include "platform/win32/folder_removal.hpp"
#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/win32/win32.hpp"
#include "support/poll.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::poll_until;
using testing::TempDir;

std::string chatter_path() {
    std::string path = std::string("Z:") + ML_TEST_TOOLS_DIR + "/chatter.exe";
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

// The files of an installed folder, with what a user may have added: nested saves, a
// read-only and a hidden file, an empty folder and names outside ASCII.
const std::vector<std::string> kTree = {
    "marrowlane.exe",
    "config.json",
    "saves\\slot1.dat",
    "saves\\old\\slot0.dat",
    "read-only.txt",
    "hidden.ini",
    "J\xC3\xB6rg \xE6\x97\xA5\xE6\x9C\xAC\\notes.txt",
};

void make_tree(const std::string& folder) {
    for (const std::string& name : kTree) {
        const std::string path = folder + "\\" + name;
        ASSERT_TRUE(create_directories(path_parent(path)));
        ASSERT_TRUE(write_file(path, name));
    }
    ASSERT_TRUE(create_directories(folder + "\\empty"));
    ASSERT_TRUE(
        SetFileAttributesW(widen(folder + "\\read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(widen(folder + "\\hidden.ini").c_str(), FILE_ATTRIBUTE_HIDDEN));
}

TEST(FolderRemoval, RemovesEverythingInsideAndTheFolder) {
    TempDir dir;
    const std::string folder = dir / "Marrowlane";
    make_tree(folder);
    ASSERT_TRUE(write_file(dir / "Marrowlane2.txt", "beside it"));
    const std::string_view first[] = {"marrowlane.exe", "WebView2Loader.dll", "config.json"};

    const FolderLeftovers left = remove_folder_tree(folder, first);
    EXPECT_EQ(left.files, std::vector<std::string>{});
    EXPECT_EQ(left.folders, std::vector<std::string>{});
    EXPECT_FALSE(left.folder_left);
    EXPECT_EQ(left.kept, 0u);
    EXPECT_FALSE(path_exists(folder));
    EXPECT_EQ(read_file(dir / "Marrowlane2.txt").value(), "beside it");

    // Nothing there is nothing to do.
    const FolderLeftovers none = remove_folder_tree(folder);
    EXPECT_TRUE(none.files.empty() && none.folders.empty() && !none.folder_left);
}

TEST(FolderRemoval, WhatIsInUseIsReportedAndGoesOnceFree) {
    TempDir dir;
    const std::string folder = dir / "Marrowlane";
    make_tree(folder);
    {
        // Held open without delete sharing, as a runner still running holds its files.
        UniqueFile held(CreateFileW(widen(folder + "\\saves\\old\\slot0.dat").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        ASSERT_TRUE(held);
        const FolderLeftovers left = remove_folder_tree(folder);
        EXPECT_EQ(left.files, std::vector<std::string>{"saves\\old\\slot0.dat"});
        // Deepest first: each folder after what it holds.
        EXPECT_EQ(left.folders, (std::vector<std::string>{"saves\\old", "saves"}));
        EXPECT_TRUE(left.folder_left);
        EXPECT_EQ(left.kept, 0u);
        // Everything else went.
        auto rest = list_directory(folder);
        ASSERT_TRUE(rest);
        ASSERT_EQ(rest->size(), 1u);
        EXPECT_EQ((*rest)[0].name, "saves");
        EXPECT_EQ(list_directory(folder + "\\saves")->size(), 1u);
    }
    const FolderLeftovers later = remove_folder_tree(folder);
    EXPECT_FALSE(later.folder_left);
    EXPECT_FALSE(path_exists(folder));
}

TEST(FolderRemoval, TheRunningProgramsOwnImageIsLeftForLater) {
    TempDir dir;
    const std::string folder = dir / "Marrowlane";
    ASSERT_TRUE(create_directories(folder));
    const std::string copy = folder + "\\Marrowlane-Setup.exe";
    ASSERT_TRUE(copy_file(chatter_path(), copy));
    ASSERT_TRUE(write_file(folder + "\\config.json", "{}"));
    std::wstring line = L"\"" + widen(copy) + L"\" 0 600000";
    // No standard handle of ours: a test runner reading our output must not wait for it.
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);

    const FolderLeftovers left = remove_folder_tree(folder);
    EXPECT_EQ(left.files, std::vector<std::string>{"Marrowlane-Setup.exe"});
    EXPECT_TRUE(left.folder_left);
    EXPECT_FALSE(path_exists(folder + "\\config.json"));

    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 60'000);
    // The image goes once its process has: not always at the very moment the process ends.
    EXPECT_TRUE(poll_until(
        [&] { return !remove_folder_tree(folder).folder_left && !path_exists(folder); }, 120'000));
}

}  // namespace
}  // namespace ml
