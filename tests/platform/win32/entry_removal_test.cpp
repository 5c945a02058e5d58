#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/entry_removal.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

TEST(EntryRemoval, OneFileNothingBelowItThenTheFolderOnlyOnceEmpty) {
    testing::TempDir dir;
    ASSERT_TRUE(write_file(dir / "read-only.dll", "x"));
    ASSERT_TRUE(SetFileAttributesW(widen(dir / "read-only.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(write_file(dir / "held.exe", "x"));
    // A user's folder under a name the product uses for a file.
    ASSERT_TRUE(create_directories(dir / "config.json"));
    ASSERT_TRUE(write_file(dir / "config.json\\keep.txt", "keep"));
    {
        // Held without delete sharing, as a running game holds its files.
        const UniqueFile held(CreateFileW(widen(dir / "held.exe").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        const std::pair<std::string, FileRemoval> cases[] = {
            {"read-only.dll", FileRemoval::Gone}, {"read-only.dll", FileRemoval::Absent},
            {"held.exe", FileRemoval::InUse},     {"config.json", FileRemoval::Kept},
            {"*.exe", FileRemoval::Kept},
        };
        for (const auto& [name, outcome] : cases) {
            EXPECT_EQ(remove_single_file(dir / name), outcome) << name;
        }
    }
    EXPECT_EQ(read_file(dir / "config.json\\keep.txt").value(), "keep");
    EXPECT_FALSE(remove_folder_if_empty(dir.path()));
    ASSERT_EQ(remove_single_file(dir / "held.exe"), FileRemoval::Gone);
    ASSERT_EQ(remove_single_file(dir / "config.json\\keep.txt"), FileRemoval::Gone);
    EXPECT_FALSE(remove_folder_if_empty(dir.path()));
    EXPECT_TRUE(remove_folder_if_empty(dir / "config.json"));
    EXPECT_TRUE(remove_folder_if_empty(dir.path()));
    EXPECT_FALSE(path_exists(dir.path()));
}

}  // namespace
}  // namespace ml
