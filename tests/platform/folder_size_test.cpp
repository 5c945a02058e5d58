#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/folder_size.hpp"

namespace ml {
namespace {

using Kind = FolderEntry::Kind;
using Tree = std::map<std::string, std::vector<FolderEntry>>;

// A lister over a table of folders; a folder missing from the table cannot be listed. The
// folders it was asked for are noted in order (each as soon as the walk meets it).
struct FakeTree {
    Tree folders;
    std::vector<std::string> listed;

    FolderLister lister() {
        return [this](const std::string& path) -> std::optional<std::vector<FolderEntry>> {
            listed.push_back(path);
            const auto found = folders.find(path);
            if (found == folders.end()) return std::nullopt;
            return found->second;
        };
    }
};

TEST(FolderSize, CountsFilesBelowTheFolderAndNeverEntersLinks) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        const char* what;
        Tree folders;
        std::optional<std::uint64_t> total;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"an empty folder", {{"C:\\M", {}}}, 0, {"C:\\M"}},
        {"files at the top and in nested folders",
         {{"C:\\M", {{"a.exe", Kind::File, 1000}, {"saves", Kind::Folder, 0}}},
          {"C:\\M\\saves", {{"s1", Kind::File, 24}, {"old", Kind::Folder, 0}}},
          {"C:\\M\\saves\\old", {{"s0", Kind::File, 1}}}},
         1025,
         {"C:\\M", "C:\\M\\saves", "C:\\M\\saves\\old"}},
        // A junction to a large folder, or one back up to the top: neither counted nor
        // listed, whatever size the listing reports for it.
        {"links count nothing and are not entered",
         {{"C:\\M", {{"a", Kind::File, 7}, {"Games", Kind::Link, 999}, {"up", Kind::Link, 0}}},
          {"C:\\M\\Games", {{"huge.bin", Kind::File, 1u << 30}}}},
         7,
         {"C:\\M"}},
        {"a subfolder that cannot be listed counts nothing, the rest still counts",
         {{"C:\\M", {{"locked", Kind::Folder, 0}, {"b", Kind::File, 5}, {"c", Kind::Folder, 0}}},
          {"C:\\M\\c", {{"d", Kind::File, 6}}}},
         11,
         {"C:\\M", "C:\\M\\locked", "C:\\M\\c"}},
        {"the folder itself cannot be listed", {}, std::nullopt, {"C:\\M"}},
        {"a sum beyond 64 bits stays at the largest value",
         {{"C:\\M", {{"a", Kind::File, kMax - 1}, {"b", Kind::File, 2}, {"c", Kind::File, 3}}}},
         kMax,
         {"C:\\M"}},
    };
    for (const Case& c : cases) {
        FakeTree tree{c.folders, {}};
        EXPECT_EQ(total_file_bytes("C:\\M", tree.lister()), c.total) << c.what;
        EXPECT_EQ(tree.listed, c.listed) << c.what;
    }
}

}  // namespace
}  // namespace ml
