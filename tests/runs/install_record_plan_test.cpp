#include <gtest/gtest.h>

#include "runs/install_record_plan.hpp"

namespace ml {
namespace {

const std::string kHeader = "Marrowlane install record 1\n";

SteamShortcut entry(std::uint32_t appid) {
    SteamShortcut s;
    s.appid = appid;
    s.app_name = "Other";
    return s;
}

TEST(InstallRecordPlan, TextRoundTripsWhatAnInstallationRecords) {
    // Profile names as users have them: cmd's special characters and text outside ASCII.
    InstallRecord record;
    record.folders = {R"(C:\Users\Tom & Jerry (1)\AppData\Local\Marrowlane)",
                      R"(D:\Spiele\J^ö%rg!, ü; =x's\ML)", R"(\\server\share\games\ML)"};
    record.shortcuts = {
        R"(C:\Users\Tom & Jerry (1)\OneDrive\Desktop\Marrowlane.lnk)",
        R"(C:\Users\日本\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\marrowlane.LNK)"};
    record.steam = {{R"(C:\Program Files (x86)\Steam\userdata\123)", 2898237750u},
                    {R"(C:\Program Files (x86)\Steam\userdata\456)", 0x80000000u}};
    const std::string text = install_record_text(record);
    EXPECT_TRUE(text.starts_with(kHeader + "folder\tC:\\Users\\Tom & Jerry (1)")) << text;
    EXPECT_EQ(parse_install_record(text), record);
    // Line ends changed by an editor do not matter.
    std::string crlf;
    for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parse_install_record(crlf), record);
}

TEST(InstallRecordPlan, EveryLineIsCheckedAgainWhenRead) {
    // Each line follows a valid header; true when the parser may take it.
    const std::vector<std::pair<std::string, bool>> cases = {
        {"folder\tC:\\Games\\ML", true},
        {"folder\tC:/Games/ML", true},
        {"folder\t\\\\server\\share\\ML", true},
        // Relative, or relative to the current drive or folder.
        {"folder\tGames\\ML", false},
        {"folder\tC:Games", false},
        {"folder\t\\Games", false},
        {"folder\t", false},
        // Out of the place the path seems to name, or through the device namespace.
        {"folder\tC:\\Games\\..\\Windows", false},
        {"folder\tC:\\Games\\.\\ML", false},
        {"folder\t\\\\?\\C:\\Games", false},
        {"folder\t\\\\.\\PhysicalDrive0", false},
        {"folder\t//?/C:/Games", false},
        // Wildcards, an alternate data stream, characters no name holds, control characters.
        {"folder\tC:\\Users\\*", false},
        {"folder\tC:\\Games\\ML?", false},
        {"folder\tC:\\Games\\ML:stream", false},
        {"folder\tC:\\Games\\M|L", false},
        {"folder\tC:\\Games\\M\"L", false},
        {"folder\tC:\\Games\\M\x01L", false},
        {"folder\tC:\\Games\\ML\tmore", false},
        {"folder\tC:\\Games\\\xFF\xFE", false},
        // Only Marrowlane.lnk files, in any letter case.
        {"shortcut\tC:\\Users\\u\\Desktop\\Marrowlane.lnk", true},
        {"shortcut\tC:\\Users\\u\\Desktop\\MARROWLANE.LNK", true},
        {"shortcut\tC:\\Users\\u\\Desktop\\letter.txt", false},
        {"shortcut\tC:\\Users\\u\\Desktop\\Marrowlane.lnk\\x", false},
        {"shortcut\tC:\\Users\\u\\Desktop\\Marrowlane.lnk.txt", false},
        {"shortcut\tDesktop\\Marrowlane.lnk", false},
        {"shortcut\tC:\\Users\\u\\..\\v\\Marrowlane.lnk", false},
        // Only shortcut ids (bit 31): Steam's own games keep the artwork a user chose.
        {"steam\t2898237750\tC:\\Steam\\userdata\\1", true},
        {"steam\t4294967295\tC:\\Steam\\userdata\\1", true},
        {"steam\t440\tC:\\Steam\\userdata\\1", false},
        {"steam\t4294967296\tC:\\Steam\\userdata\\1", false},
        {"steam\t+2898237750\tC:\\Steam\\userdata\\1", false},
        {"steam\t-1\tC:\\Steam\\userdata\\1", false},
        {"steam\t02898237750\tC:\\Steam\\userdata\\1", false},
        {"steam\t2898237750\tuserdata\\1", false},
        {"steam\t2898237750", false},
        {"steam\t\tC:\\Steam\\userdata\\1", false},
        // Kinds this program does not know.
        {"file\tC:\\Windows\\System32\\config.json", false},
        {"Folder\tC:\\Games\\ML", false},
        {"folder C:\\Games\\ML", false},
    };
    for (const auto& [line, taken] : cases) {
        const InstallRecord record = parse_install_record(kHeader + line);
        const std::size_t count =
            record.folders.size() + record.shortcuts.size() + record.steam.size();
        EXPECT_EQ(count, taken ? 1u : 0u) << line;
        // What is refused is never written either.
        EXPECT_EQ(parse_install_record(install_record_text(record)), record) << line;
    }
    // Without the header (or under another one) nothing is read at all.
    const std::vector<std::string> headless = {"folder\tC:\\Games\\ML",
                                               "Marrowlane install record 2\nfolder\tC:\\Games\\ML",
                                               "", "\n" + kHeader + "folder\tC:\\Games\\ML"};
    for (const std::string& text : headless) {
        EXPECT_EQ(parse_install_record(text), InstallRecord{}) << text;
    }
}

TEST(InstallRecordPlan, EntriesAreKeptOnceAndWithinTheLimit) {
    std::string text = kHeader;
    for (int i = 0; i < 200; ++i) text += "folder\tC:\\Games\\" + std::to_string(i) + "\n";
    text += "shortcut\tC:\\D\\Marrowlane.lnk\nshortcut\tc:/D/MARROWLANE.LNK\n";
    text += "steam\t2898237750\tC:\\S\\userdata\\1\nsteam\t2898237750\tc:\\s\\USERDATA\\1\n";
    text += "steam\t2898237751\tC:\\S\\userdata\\1\n";
    const InstallRecord record = parse_install_record(text);
    ASSERT_EQ(record.folders.size(), kMaxRecordEntries);
    EXPECT_EQ(record.folders.front(), "C:\\Games\\0");
    EXPECT_EQ(record.folders.back(), "C:\\Games\\" + std::to_string(kMaxRecordEntries - 1));
    EXPECT_EQ(record.shortcuts, std::vector<std::string>{"C:\\D\\Marrowlane.lnk"});
    EXPECT_EQ(record.steam, (std::vector<RecordedSteamEntry>{{"C:\\S\\userdata\\1", 2898237750u},
                                                             {"C:\\S\\userdata\\1", 2898237751u}}));
}

TEST(InstallRecordPlan, ANewerInstallationCarriesTheEarlierRecordForward) {
    InstallRecord earlier;
    earlier.folders = {R"(C:\Users\u\AppData\Local\Marrowlane)"};
    earlier.shortcuts = {R"(C:\Users\u\OneDrive\Desktop\Marrowlane.lnk)",
                         R"(C:\Users\u\Desktop\Marrowlane.lnk)"};
    earlier.steam = {{R"(C:\Steam\userdata\1)", 2898237750u}};
    InstallRecord newer;
    newer.folders = {R"(C:\Games\ML)", R"(c:\users\u\appdata\local\marrowlane\)"};
    newer.shortcuts = {R"(C:\Users\u\Desktop\Marrowlane.lnk)"};
    newer.steam = {{R"(C:\Steam\userdata\1)", 3000000001u}};

    const InstallRecord merged = merge_install_records(newer, earlier);
    EXPECT_EQ(merged.folders, (std::vector<std::string>{
                                  R"(C:\Games\ML)", R"(c:\users\u\appdata\local\marrowlane\)"}));
    EXPECT_EQ(merged.shortcuts,
              (std::vector<std::string>{R"(C:\Users\u\Desktop\Marrowlane.lnk)",
                                        R"(C:\Users\u\OneDrive\Desktop\Marrowlane.lnk)"}));
    EXPECT_EQ(merged.steam,
              (std::vector<RecordedSteamEntry>{{R"(C:\Steam\userdata\1)", 3000000001u},
                                               {R"(C:\Steam\userdata\1)", 2898237750u}}));
    // A record full of old entries still takes the newest installation's.
    InstallRecord full;
    for (std::size_t i = 0; i < kMaxRecordEntries; ++i)
        full.folders.push_back("D:\\Old\\" + std::to_string(i));
    EXPECT_EQ(merge_install_records(newer, full).folders.front(), R"(C:\Games\ML)");
}

TEST(InstallRecordPlan, RecordedArtworkIsOnlyForThatAccountAndIdsNoEntryKeeps) {
    InstallRecord record;
    record.steam = {{R"(C:\Steam\userdata\1)", 2898237750u},
                    {R"(C:\Steam\userdata\2)", 3000000001u},
                    {R"(c:/steam/USERDATA/1/)", 3000000002u},
                    {R"(C:\Steam\userdata\1)", 3000000003u}};
    // The user's own shortcut that happens to use a recorded id keeps its artwork.
    const std::vector<SteamShortcut> kept = {entry(7), entry(3000000003u)};
    EXPECT_EQ(recorded_artwork_ids(record, R"(C:\Steam\userdata\1)", kept),
              (std::vector<std::uint32_t>{2898237750u, 3000000002u}));
    EXPECT_EQ(recorded_artwork_ids(record, R"(C:\Steam\userdata\3)", kept),
              std::vector<std::uint32_t>{});
    EXPECT_EQ(recorded_artwork_ids(record, R"(D:\Steam\userdata\2)", {}),
              std::vector<std::uint32_t>{});
}

TEST(InstallRecordPlan, OtherFoldersLeaveOutTheDefaultOne) {
    InstallRecord record;
    record.folders = {R"(C:\Users\u\AppData\Local\Marrowlane)", R"(D:\Games\ML)", R"(d:/games/ml/)",
                      R"(C:\Users\u\AppData\Local)"};
    const std::optional<std::string> default_folder = R"(c:\users\U\appdata\local\marrowlane\)";
    EXPECT_EQ(recorded_other_folders(record, default_folder),
              (std::vector<std::string>{R"(D:\Games\ML)", R"(C:\Users\u\AppData\Local)"}));
    EXPECT_EQ(recorded_other_folders(record, std::nullopt).size(), 3u);
}

TEST(InstallRecordPlan, OnlyAShellLinkCountsAsOne) {
    const std::string link("\x4C\0\0\0\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46rest", 24);
    EXPECT_TRUE(is_shell_link_header(link));
    EXPECT_FALSE(is_shell_link_header(link.substr(0, 19)));
    for (const std::size_t i : {0u, 4u, 12u, 19u}) {
        std::string changed = link;
        changed[i] = static_cast<char>(changed[i] ^ 1);
        EXPECT_FALSE(is_shell_link_header(changed)) << i;
    }
    EXPECT_FALSE(is_shell_link_header("my own notes, named Marrowlane.lnk"));
}

}  // namespace
}  // namespace ml
