#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/entry_removal.hpp"
#include "platform/files.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::TempDir;

TEST(EntryRemoval, OneFileAndNothingBesideOrBelowIt) {
    TempDir dir;
    ASSERT_TRUE(write_file(dir / "config.json", "{}"));
    ASSERT_TRUE(write_file(dir / "read-only.dll", "x"));
    ASSERT_TRUE(SetFileAttributesW(widen(dir / "read-only.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(write_file(dir / "held.exe", "x"));
    // A user's folder under a name the product uses for a file.
    ASSERT_TRUE(create_directories(dir / "marrowlane.ico"));
    ASSERT_TRUE(write_file(dir / "marrowlane.ico\\keep.txt", "keep"));
    ASSERT_TRUE(write_file(dir / "beside.txt", "keep"));
    // Held without delete sharing, as a running game holds its files.
    const UniqueFile held(CreateFileW(widen(dir / "held.exe").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    const std::pair<std::string, FileRemoval> cases[] = {
        {"config.json", FileRemoval::Gone},   {"read-only.dll", FileRemoval::Gone},
        {"held.exe", FileRemoval::InUse},     {"marrowlane.ico", FileRemoval::Kept},
        {"config.json", FileRemoval::Absent}, {"missing\\config.json", FileRemoval::Absent},
        {"*.txt", FileRemoval::Kept},
    };
    for (const auto& [name, outcome] : cases) {
        EXPECT_EQ(remove_single_file(dir / name), outcome) << name;
    }
    EXPECT_EQ(read_file(dir / "marrowlane.ico\\keep.txt").value(), "keep");
    EXPECT_EQ(read_file(dir / "beside.txt").value(), "keep");
    EXPECT_TRUE(path_exists(dir / "held.exe"));
}

TEST(EntryRemoval, AFolderGoesOnlyOnceEmpty) {
    TempDir dir;
    const std::string folder = dir / "ML";
    ASSERT_TRUE(create_directories(folder));
    ASSERT_TRUE(write_file(folder + "\\notes.txt", "keep"));
    EXPECT_FALSE(is_plain_folder(folder + "\\notes.txt"));
    EXPECT_TRUE(is_plain_folder(folder));
    EXPECT_FALSE(remove_folder_if_empty(folder));
    EXPECT_EQ(read_file(folder + "\\notes.txt").value(), "keep");
    // A file is not a folder to remove.
    EXPECT_FALSE(remove_folder_if_empty(folder + "\\notes.txt"));

    ASSERT_EQ(remove_single_file(folder + "\\notes.txt"), FileRemoval::Gone);
    EXPECT_TRUE(remove_folder_if_empty(folder));
    EXPECT_FALSE(path_exists(folder));
    EXPECT_TRUE(remove_folder_if_empty(folder));
    EXPECT_TRUE(path_exists(dir.path()));
}

}  // namespace
}  // namespace ml
