#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"
#include "support/temp_dir.hpp"

namespace ml {
namespace {

using testing::TempDir;

TEST(Files, WriteReadCopyMoveRemove) {
    TempDir dir;
    const std::string a = dir / "caf\xC3\xA9 \xE2\x9C\x93.bin";
    const std::string payload("bytes\0with nul\xFF", 15);
    ASSERT_TRUE(write_file(a, payload));
    EXPECT_EQ(read_file(a).value(), payload);
    EXPECT_EQ(file_size(a), payload.size());
    EXPECT_TRUE(is_regular_file(a));
    EXPECT_FALSE(is_directory(a));

    const std::string b = dir / "b.bin";
    ASSERT_TRUE(write_file(b, "old"));
    ASSERT_TRUE(copy_file(a, b));  // over an existing file
    EXPECT_EQ(read_file(b).value(), payload);

    ASSERT_TRUE(write_file(a, ""));  // truncates
    EXPECT_EQ(read_file(a).value(), "");
    ASSERT_TRUE(move_file_replacing(b, a));
    EXPECT_EQ(read_file(a).value(), payload);
    EXPECT_FALSE(path_exists(b));
    ASSERT_TRUE(remove_file(a));
    EXPECT_FALSE(path_exists(a));

    const auto missing = read_file(dir / "missing");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ErrorKind::NotFound);
    EXPECT_EQ(missing.error().os_code, 2u);
    EXPECT_FALSE(copy_file(dir / "missing", dir / "x"));
    EXPECT_FALSE(file_size(dir.path()).has_value());
}

TEST(Files, CopiesArePlainFilesAndReplaceReadOnlyOnes) {
    // A setup on a mounted image or a read-only download copies itself and its files: the
    // copies must not stay read-only, and a read-only copy left earlier must still be replaced
    // (CopyFileW copies the attribute and fails on a read-only destination on Windows).
    TempDir dir;
    const std::string source = dir / "source.exe";
    const std::string payload("MZ\0image", 8);
    ASSERT_TRUE(write_file(source, payload));
    const auto read_only = [](const std::string& path) {
        const DWORD a = GetFileAttributesW(widen(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
    };
    ASSERT_TRUE(SetFileAttributesW(widen(source).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(read_only(source));

    const std::string fresh = dir / "fresh.exe";
    ASSERT_TRUE(copy_file(source, fresh));
    EXPECT_EQ(read_file(fresh).value(), payload);
    EXPECT_FALSE(read_only(fresh));

    const std::string earlier = dir / "earlier.exe";
    ASSERT_TRUE(write_file(earlier, "an earlier, longer version of the file"));
    ASSERT_TRUE(SetFileAttributesW(widen(earlier).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(copy_file(source, earlier));
    EXPECT_EQ(read_file(earlier).value(), payload);
    EXPECT_FALSE(read_only(earlier));

    // A copy that cannot start leaves the destination whole, and nothing beside it.
    EXPECT_FALSE(copy_file(dir / "missing", earlier));
    EXPECT_EQ(read_file(earlier).value(), payload);
    const auto listed = list_directory(dir.path());
    ASSERT_TRUE(listed);
    std::vector<std::string> names;
    for (const DirectoryEntry& e : *listed) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"earlier.exe", "fresh.exe", "source.exe"}));
    SetFileAttributesW(widen(source).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Files, ReadLimitAndHead) {
    TempDir dir;
    const std::string path = dir / "data.bin";
    ASSERT_TRUE(write_file(path, "0123456789"));
    struct Case {
        std::uint64_t max;
        bool reads;
    };
    for (const Case c : {Case{10, true}, Case{11, true}, Case{9, false}, Case{0, false}}) {
        const auto read = read_file(path, c.max);
        ASSERT_EQ(read.has_value(), c.reads) << c.max;
        if (c.reads) {
            EXPECT_EQ(*read, "0123456789");
        } else {
            EXPECT_EQ(read.error().kind, ErrorKind::InvalidData);
            EXPECT_EQ(read.error().message, debug_quote(path) + " is 10 bytes, more than the " +
                                                byte_size_text(c.max) + " such a file can be");
        }
    }
    EXPECT_EQ(read_file_head(path, 4), "0123");
    EXPECT_EQ(read_file_head(path, 12), "0123456789");  // a shorter file gives what it has
    EXPECT_EQ(read_file_head(dir / "missing", 4), std::nullopt);
}

TEST(Files, CreateDirectoriesAndList) {
    TempDir dir;
    const std::string deep = dir / "a\\b/c";
    ASSERT_TRUE(create_directories(deep));
    ASSERT_TRUE(create_directories(deep));  // already there
    EXPECT_TRUE(is_directory(deep));
    ASSERT_TRUE(write_file(dir / "a\\file", "x"));
    EXPECT_FALSE(create_directories(dir / "a\\file\\sub"));  // a file is in the way

    auto entries = list_directory(dir / "a");
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    for (const auto& e : *entries) {
        EXPECT_TRUE(e.name_is_unicode);
        EXPECT_EQ(e.is_directory, e.name == "b") << e.name;
    }
    EXPECT_FALSE(list_directory(dir / "nothing").has_value());
}

TEST(Files, AtomicReplaceKeepsTheOldFileWhenTheWriteCannotHappen) {
    TempDir dir;
    const std::string target = dir / "shortcuts.vdf";
    ASSERT_TRUE(write_file(target, "old content"));
    ASSERT_TRUE(replace_file_atomically(target, "new content"));
    EXPECT_EQ(read_file(target).value(), "new content");

    // Another program holds the file open without sharing: the replacement fails, the
    // content stays, and no temporary file is left behind.
    {
        UniqueFile lock(CreateFileW(widen(target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_FALSE(replace_file_atomically(target, "lost?"));
    }
    EXPECT_EQ(read_file(target).value(), "new content");
    EXPECT_EQ(list_directory(dir.path())->size(), 1u);

    // A target that does not exist yet is simply created.
    ASSERT_TRUE(replace_file_atomically(dir / "fresh.vdf", "x"));
    EXPECT_EQ(read_file(dir / "fresh.vdf").value(), "x");
}

}  // namespace
}  // namespace ml

namespace ml {
namespace {

TEST(Files, SameFileFollowsTheFileNotItsSpelling) {
    testing::TempDir dir;
    ASSERT_TRUE(create_directories(dir / "sub"));
    ASSERT_TRUE(write_file(dir / "sub\\a.exe", "MZ a"));
    ASSERT_TRUE(write_file(dir / "b.exe", "MZ a"));
    const std::string a = dir / "sub\\a.exe";
    struct Case {
        std::string other;
        bool same;
    };
    const Case cases[] = {
        {a, true},
        {dir.path() + "/sub/a.exe", true},
        {dir / "sub\\..\\sub\\.\\a.exe", true},
        {dir / "SUB\\A.EXE", true},
        // Equal bytes are not the same file; a missing file is never the same.
        {dir / "b.exe", false},
        {dir / "sub\\missing.exe", false},
    };
    for (const Case& c : cases) EXPECT_EQ(same_file(a, c.other), c.same) << c.other;
    EXPECT_FALSE(same_file(dir / "sub\\missing.exe", dir / "sub\\missing.exe"));
}

}  // namespace
}  // namespace ml

namespace ml {
namespace {

TEST(Files, FolderSizeCountsEveryFileBelowTheFolder) {
    testing::TempDir dir;
    const std::string top = dir / "Marrowlane";
    ASSERT_TRUE(create_directories(top + "\\saves\\old"));
    ASSERT_TRUE(write_file(top + "\\marrowlane.exe", std::string(1500, 'x')));
    ASSERT_TRUE(write_file(top + "\\saves\\slot1.dat", std::string(600, 'y')));
    ASSERT_TRUE(write_file(top + "\\saves\\old\\slot0.dat", "z"));
    ASSERT_TRUE(write_file(top + "\\empty.txt", ""));
    const auto entries = list_folder_entries(top);
    ASSERT_TRUE(entries);
    using Kind = FolderEntry::Kind;
    std::vector<std::tuple<std::string, Kind, std::uint64_t>> listed;
    for (const FolderEntry& e : *entries) listed.emplace_back(e.name, e.kind, e.size);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::tuple<std::string, Kind, std::uint64_t>>{
                          {"empty.txt", Kind::File, 0},
                          {"marrowlane.exe", Kind::File, 1500},
                          {"saves", Kind::Folder, 0}}));
    EXPECT_EQ(folder_size(top), 2101u);
    EXPECT_EQ(folder_size(top + "\\saves\\old"), 1u);
    EXPECT_FALSE(folder_size(dir / "missing").has_value());
    EXPECT_FALSE(list_folder_entries(top + "\\marrowlane.exe").has_value());
    // Wine's CreateSymbolicLinkW makes no link, so links inside the folder are tested end to
    // end with a link the file system really holds.
}

}  // namespace
}  // namespace ml
