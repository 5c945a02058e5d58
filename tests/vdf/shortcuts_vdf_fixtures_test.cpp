// The reader and writer against the real files in the shared fixtures folder.

#include <gtest/gtest.h>

#include <map>

#include "platform/text.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

using namespace vdf_test;

#define REQUIRE_FIXTURES(dir)                 \
    const auto dir = shortcut_fixtures_dir(); \
    if (!dir) GTEST_SKIP() << "no shared fixtures folder at " ML_FIXTURES_DIR "/shortcuts-vdf"

// The damaged files and the message each fails with; all are invalid data.
const std::map<std::string, std::string>& damaged_files() {
    static const std::map<std::string, std::string> files = {
        // A text-mode round trip turned appid bytes into EF BF BD; the 0xEF lands on a marker.
        {"corrupt-text-roundtrip-a.vdf", "Unknown BKV type marker: 0xef"},
        {"corrupt-text-roundtrip-b.vdf", "Unknown BKV type marker: 0xef"},
        {"corrupt-text-roundtrip-c.vdf", "Unknown BKV type marker: 0xef"},
        {"corrupt-text-roundtrip-d.vdf", "Unknown BKV type marker: 0xef"},
        // "tags" lost its 0x00 marker, so its 't' is read as one.
        {"corrupt-missing-marker.vdf", "Unknown BKV type marker: 0x74"},
        // One-byte integers shift the framing until a 0x00 opens a table with a table in it.
        {"corrupt-short-ints.vdf",
         "Unknown sub-key type in nested table '\x01"
         "DevkitGameID': 0x00"},
    };
    return files;
}

TEST(ShortcutsVdfFixtures, EveryRealFileReadsAndWritesBackOrFailsAsDamaged) {
    REQUIRE_FIXTURES(dir);
    const auto manifest = read_manifest(*dir);
    ASSERT_EQ(manifest.size(), 74u);
    std::size_t good = 0;
    for (const auto& row : manifest) {
        SCOPED_TRACE(row.file);
        const std::string bytes = read_bytes(*dir / row.file);
        ASSERT_EQ(bytes.size(), row.bytes);
        EXPECT_TRUE(view_agrees(bytes));
        const auto parsed = parse_shortcuts_vdf(bytes);
        if (const auto it = damaged_files().find(row.file); it != damaged_files().end()) {
            ASSERT_FALSE(parsed.has_value());
            EXPECT_EQ(parsed.error().kind, ErrorKind::InvalidData);
            EXPECT_EQ(parsed.error().message, it->second);
            continue;
        }
        ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
        ++good;
        const std::string written = serialize_shortcuts_vdf(*parsed);
        const auto again = parse_shortcuts_vdf(written);
        ASSERT_TRUE(again.has_value()) << again.error().message;
        EXPECT_EQ(*again, *parsed);
        EXPECT_EQ(serialize_shortcuts_vdf(*again), written);
    }
    // Every file Steam or a tool wrote whole is read: the root-level checks refuse none.
    EXPECT_EQ(good, 68u);
}

TEST(ShortcutsVdfFixtures, OlderClientsCapitalisedRootIsReadAndWrittenInLowerCase) {
    REQUIRE_FIXTURES(dir);
    const std::string bytes = read_bytes(*dir / "steam-pre2017-root-capital-S.vdf");
    ASSERT_EQ(bytes.substr(0, 11), nul() + "Shortcuts" + nul());
    const auto parsed = parse_shortcuts_vdf(bytes);
    ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
    EXPECT_EQ(parsed->size(), 5u);
    EXPECT_EQ(serialize_shortcuts_vdf(*parsed).substr(0, 11), header());
}

TEST(ShortcutsVdfFixtures, CanonicalFilesAreRewrittenByteForByte) {
    REQUIRE_FIXTURES(dir);
    // Steam's own layout, "sortas" included, and tools that copy it.
    for (const char* name :
         {"empty-13-bytes.vdf", "steam-2022-187-entries.vdf", "steam-2022-single-a.vdf",
          "steam-2022-windows-paths.vdf", "steam-2024-30-entries.vdf", "steam-2025-sortas.vdf",
          "steam-2025-unquoted-exe.vdf", "tool-17-keys-b.vdf"}) {
        SCOPED_TRACE(name);
        const std::string bytes = read_bytes(*dir / name);
        const auto parsed = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_TRUE(serialize_shortcuts_vdf(*parsed) == bytes);
    }
}

// Every value of the string nodes named key (any letter case) in file order, found by a
// plain byte search that knows nothing of entries.
std::vector<std::string> raw_values(std::string_view bytes, std::string_view key) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i + key.size() + 2 < bytes.size(); ++i) {
        if (bytes[i] != '\x01' || bytes[i + key.size() + 1] != '\0') continue;
        if (!equals_ascii_ci(bytes.substr(i + 1, key.size()), key)) continue;
        const std::size_t start = i + key.size() + 2;
        const std::size_t stop = bytes.find('\0', start);
        values.push_back(std::string(bytes.substr(start, stop - start)));
    }
    return values;
}

TEST(ShortcutsVdfFixtures, SteamClientFilesKeepNamesProgramsAndSortTitles) {
    REQUIRE_FIXTURES(dir);
    std::size_t sort_titles = 0, lower_case_files = 0;
    for (const auto& row : read_manifest(*dir)) {
        if (!row.writer.starts_with("Steam client") || damaged_files().contains(row.file)) continue;
        SCOPED_TRACE(row.file);
        const std::string bytes = read_bytes(*dir / row.file);
        const auto first = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(first.has_value());
        const auto list = parse_shortcuts_vdf(serialize_shortcuts_vdf(*first));
        ASSERT_TRUE(list.has_value());

        std::vector<std::string> names, exes, sorts;
        for (const SteamShortcut& s : *list) {
            names.push_back(s.app_name);
            exes.push_back(s.exe);
            for (const VdfExtraNode& node : s.extra_nodes) {
                if (node.key == "sortas") sorts.push_back(std::get<std::string>(node.value));
            }
        }
        EXPECT_EQ(names, raw_values(bytes, "AppName"));
        EXPECT_EQ(exes, raw_values(bytes, "Exe"));
        EXPECT_EQ(sorts, raw_values(bytes, "sortas"));
        sort_titles += sorts.size();
        if (bytes.find(std::string("\x01"
                                   "appname") +
                       nul()) != std::string::npos ||
            bytes.find(std::string("\x01"
                                   "exe") +
                       nul()) != std::string::npos) {
            ++lower_case_files;
        }
    }
    // The checks above must have met the cases they are about.
    EXPECT_GE(sort_titles, 23u);
    EXPECT_GE(lower_case_files, 10u);
}

TEST(ShortcutsVdfFixtures, EveryTruncationGivesAListOrAnEndOfDataError) {
    REQUIRE_FIXTURES(dir);
    for (const char* name : {"steam-2025-sortas.vdf", "steam-2026-sortas-lowercase-appname.vdf",
                             "tool-capitalised-AppId-Icon-Tags.vdf", "tool-unknown-int-key.vdf",
                             "steam-pre2017-5-keys-b.vdf"}) {
        SCOPED_TRACE(name);
        const std::string bytes = read_bytes(*dir / name);
        const auto full = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(full.has_value());
        std::size_t lists = 0;
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            const auto cut = parse_shortcuts_vdf(std::string_view(bytes).substr(0, n));
            if (!cut) {
                ASSERT_EQ(cut.error().kind, ErrorKind::UnexpectedEof) << n;
                ASSERT_TRUE(cut.error().message == "Unterminated CString in VDF" ||
                            cut.error().message == "Unexpected EOF reading i32")
                    << n << ": " << cut.error().message;
                continue;
            }
            ++lists;
            // Every entry before the last one read is whole.
            ASSERT_LE(cut->size(), full->size()) << n;
            for (std::size_t i = 0; i + 1 < cut->size(); ++i) {
                ASSERT_EQ((*cut)[i], (*full)[i]) << n << " entry " << i;
            }
        }
        EXPECT_GT(lists, 0u);
    }
}

}  // namespace
}  // namespace ml
