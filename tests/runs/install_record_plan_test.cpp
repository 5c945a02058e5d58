#include <gtest/gtest.h>

#include "runs/install_record_plan.hpp"

namespace ml {
namespace {

const std::string kHeader = "Marrowlane install record 1\n";

TEST(InstallRecordPlan, TextRoundTripsWhatAnInstallationRecords) {
    // Profile names as users have them: cmd's special characters and text outside ASCII.
    InstallRecord record;
    record.folders = {R"(C:\Users\Tom & Jerry (1)\AppData\Local\Marrowlane)",
                      R"(D:\Spiele\J^ö%rg!, ü; =x's\ML)", R"(\\server\share\games\ML)"};
    record.shortcuts = {R"(C:\Users\日本\OneDrive\Desktop\marrowlane.LNK)"};
    record.steam = {{R"(C:\Program Files (x86)\Steam\userdata\123)", 2898237750u}};
    const std::string text = install_record_text(record);
    EXPECT_EQ(parse_install_record(text), record) << text;
}

TEST(InstallRecordPlan, EveryLineIsCheckedAgainWhenRead) {
    // Each line follows a valid header; true when the parser may take it.
    const std::vector<std::pair<std::string, bool>> cases = {
        {"folder\tC:\\Games\\ML", true},
        {"folder\t\\\\server\\share\\ML", true},
        // Relative to wherever the uninstaller runs.
        {"folder\tGames\\ML", false},
        {"folder\t\\Games", false},
        // Out of the place the path seems to name, or through the device namespace.
        {"folder\tC:\\Games\\..\\Windows", false},
        {"folder\tC:\\Games\\.\\ML", false},
        {"folder\t\\\\?\\C:\\Games", false},
        // A wildcard would let a file search pick any entry; a stream, a control character.
        {"folder\tC:\\Users\\*", false},
        {"folder\tC:\\Games\\ML:stream", false},
        {"folder\tC:\\Games\\M\x01L", false},
        {"folder\tC:\\Games\\\xFF\xFE", false},
        // Only Marrowlane.lnk files.
        {"shortcut\tC:\\Users\\u\\Desktop\\MARROWLANE.LNK", true},
        {"shortcut\tC:\\Users\\u\\Desktop\\letter.txt", false},
        {"shortcut\tC:\\Users\\u\\Desktop\\Marrowlane.lnk\\x", false},
        {"shortcut\tC:\\Users\\u\\..\\v\\Marrowlane.lnk", false},
        // Only shortcut ids (bit 31): Steam's own games keep the artwork a user chose.
        {"steam\t2898237750\tC:\\Steam\\userdata\\1", true},
        {"steam\t440\tC:\\Steam\\userdata\\1", false},
        {"steam\t+2898237750\tC:\\Steam\\userdata\\1", false},
        {"steam\t2898237750\tuserdata\\1", false},
        {"file\tC:\\Windows\\System32\\config.json", false},
    };
    for (const auto& [line, taken] : cases) {
        const InstallRecord record = parse_install_record(kHeader + line);
        const std::size_t count =
            record.folders.size() + record.shortcuts.size() + record.steam.size();
        EXPECT_EQ(count, taken ? 1u : 0u) << line;
    }
    // Without the header (or under another one) nothing is read at all.
    for (const std::string text :
         {"folder\tC:\\Games\\ML", "Marrowlane install record 2\nfolder\tC:\\Games\\ML"}) {
        EXPECT_EQ(parse_install_record(text), InstallRecord{}) << text;
    }
}

TEST(InstallRecordPlan, EntriesAreKeptOnceWithinTheLimitTheNewestFirst) {
    std::string text = kHeader;
    for (int i = 0; i < 200; ++i) text += "folder\tC:\\Old\\" + std::to_string(i) + "\n";
    text += "shortcut\tC:\\D\\Marrowlane.lnk\nshortcut\tc:/D/MARROWLANE.LNK\n";
    const InstallRecord earlier = parse_install_record(text);
    ASSERT_EQ(earlier.folders.size(), kMaxRecordEntries);
    EXPECT_EQ(earlier.folders.back(), "C:\\Old\\" + std::to_string(kMaxRecordEntries - 1));
    EXPECT_EQ(earlier.shortcuts, std::vector<std::string>{"C:\\D\\Marrowlane.lnk"});

    // A new installation goes first, even into a full record, and carries the rest forward.
    InstallRecord newer;
    newer.folders = {R"(D:\Games\ML)", R"(c:\old\0\)"};
    const InstallRecord merged = merge_install_records(newer, earlier);
    ASSERT_EQ(merged.folders.size(), kMaxRecordEntries);
    EXPECT_EQ(merged.folders[0], R"(D:\Games\ML)");
    EXPECT_EQ(merged.folders[2], R"(C:\Old\1)");
    EXPECT_EQ(merged.shortcuts, earlier.shortcuts);
}

}  // namespace
}  // namespace ml
