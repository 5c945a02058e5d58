#include <gtest/gtest.h>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

using namespace vdf_test;

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

SteamShortcut named(std::string name) {
    SteamShortcut s;
    s.app_name = std::move(name);
    return s;
}

// The canonical bytes of one entry, spelled out field by field.
std::string canonical_entry(std::string_view index, const SteamShortcut& s,
                            std::string_view extra = "") {
    std::string tags;
    for (std::size_t i = 0; i < s.tags.size(); ++i) tags += str_node(std::to_string(i), s.tags[i]);
    return entry(
        index, int_node("appid", s.appid) + str_node("AppName", s.app_name) +
                   str_node("Exe", s.exe) + str_node("StartDir", s.start_dir) +
                   str_node("icon", s.icon) + str_node("ShortcutPath", s.shortcut_path) +
                   str_node("LaunchOptions", s.launch_options) + int_node("IsHidden", s.is_hidden) +
                   int_node("AllowDesktopConfig", s.allow_desktop_config) +
                   int_node("AllowOverlay", s.allow_overlay) + int_node("OpenVR", s.open_vr) +
                   int_node("Devkit", s.devkit) + str_node("DevkitGameID", s.devkit_game_id) +
                   int_node("DevkitOverrideAppID", s.devkit_override_app_id) +
                   int_node("LastPlayTime", s.last_play_time) +
                   str_node("FlatpakAppID", s.flatpak_app_id) + std::string(extra) +
                   table_node("tags", tags));
}

TEST(ShortcutsVdf, WorkedExamplesSerializeExactly) {
    SteamShortcut game;
    game.appid = 0xC7882235;
    game.app_name = "Game";
    game.exe = "\"a.exe\"";

    const std::string empty = serialize_shortcuts_vdf({});
    EXPECT_EQ(empty, std::string("\x00shortcuts\x00\x08\x08", 13));

    const std::string one = serialize_shortcuts_vdf(std::vector{game});
    const std::string begins(
        "\x00\x73\x68\x6F\x72\x74\x63\x75\x74\x73\x00\x00\x30\x00\x02\x61\x70\x70\x69\x64\x00"
        "\x35\x22\x88\xC7\x01\x41\x70\x70\x4E\x61\x6D\x65\x00\x47\x61\x6D\x65\x00",
        39);
    EXPECT_EQ(one.size(), 264u);
    EXPECT_EQ(one.substr(0, begins.size()), begins);
    EXPECT_EQ(one.substr(one.size() - 4), "\x08\x08\x08\x08");
    EXPECT_EQ(one, file_of(canonical_entry("0", game)));

    for (const auto& [bytes, list] :
         std::vector<std::pair<std::string, std::vector<SteamShortcut>>>{{empty, {}},
                                                                         {one, {game}}}) {
        const auto parsed = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
        EXPECT_EQ(*parsed, list);
    }
}

TEST(ShortcutsVdf, WritesEntriesRenumberedWithTagsAndExtraNodesBeforeTags) {
    SteamShortcut a = named("A");
    a.tags = {"x", "y"};
    a.extra_nodes = {{"sortas", std::string("Alpha")},
                     {"Hidden2", std::uint32_t{7}},
                     {"meta", std::vector<VdfLeaf>{{"k", std::string("v")}, {"n", 9u}}}};
    const SteamShortcut b = named("B");
    const std::string extra = str_node("sortas", "Alpha") + int_node("Hidden2", 7) +
                              table_node("meta", str_node("k", "v") + int_node("n", 9));
    EXPECT_EQ(serialize_shortcuts_vdf(std::vector{a, b}),
              file_of(canonical_entry("0", a, extra) + canonical_entry("1", b)));

    std::string out = "x";
    write_str(out, "Exe", "\"a.exe\"");
    write_str(out, "", "");
    EXPECT_EQ(out,
              "x\x01"
              "Exe" +
                  nul() + "\"a.exe\"" + nul() + "\x01" + nul() + nul());
}

struct ParseCase {
    std::string name;
    std::string bytes;
    std::vector<SteamShortcut> expected;
};

std::vector<ParseCase> parse_cases() {
    SteamShortcut all;
    all.appid = 0x80000001;
    all.app_name = "N";
    all.exe = "E";
    all.start_dir = "S";
    all.icon = "I";
    all.shortcut_path = "P";
    all.launch_options = "L";
    all.is_hidden = 2;
    all.allow_desktop_config = 3;
    all.allow_overlay = 4;
    all.open_vr = 5;
    all.devkit = 6;
    all.devkit_game_id = "G";
    all.devkit_override_app_id = 7;
    all.last_play_time = 0xFFFFFFFF;
    all.flatpak_app_id = "F";
    all.tags = {"t"};

    SteamShortcut tagged;
    tagged.tags = {"b", "c"};
    SteamShortcut with_extras = named("N");
    with_extras.extra_nodes = {{"sortas", std::string("Sort")},
                               {"hidden", 1u},
                               {"Group", std::vector<VdfLeaf>{{"a", std::string("x")}, {"b", 2u}}},
                               {"sortas", std::string("Again")}};
    SteamShortcut bad_utf8 = named("a" + kR + "b" + kR);
    bad_utf8.tags = {kR + kR};
    bad_utf8.extra_nodes = {{"k" + kR, std::string(kR)}};
    SteamShortcut partial = named("Cut");
    partial.exe = "E";
    SteamShortcut partial_tags = named("Cut");
    partial_tags.tags = {"t0"};

    const std::string e = entry("0", "");
    return {
        {"empty buffer", "", {}},
        {"header only", header(), {}},
        {"empty list", file_of(""), {}},
        {"every field", file_of(canonical_entry("0", all)), {all}},
        {"defaults for absent keys", file_of(e), {SteamShortcut{}}},
        {"entry names dropped, order kept",
         file_of(entry("5", str_node("AppName", "a")) + entry("x", str_node("AppName", "b")) +
                 entry("0", str_node("AppName", "c")) + entry("0", str_node("AppName", "d"))),
         {named("a"), named("b"), named("c"), named("d")}},
        {"keys in any letter case",
         file_of(entry(
             "0", str_node("appname", "N") + str_node("exe", "E") + str_node("STARTDIR", "S") +
                      str_node("Icon", "I") + str_node("shortcutpath", "P") +
                      str_node("launchoptions", "L") + int_node("AppId", 0x80000001) +
                      int_node("ishidden", 2) + int_node("allowdesktopconfig", 3) +
                      int_node("allowoverlay", 4) + int_node("openvr", 5) + int_node("DEVKIT", 6) +
                      str_node("devkitgameid", "G") + int_node("devkitoverrideappid", 7) +
                      int_node("lastplaytime", 0xFFFFFFFF) + str_node("flatpakappid", "F") +
                      table_node("Tags", str_node("0", "t")))),
         {all}},
        {"known keys of the wrong type dropped",
         file_of(entry("0", str_node("appid", "5") + int_node("AppName", 5) +
                                table_node("Exe", str_node("0", "x")) + str_node("tags", "t") +
                                int_node("tags", 1) + str_node("IsHidden", "1"))),
         {SteamShortcut{}}},
        {"last value of a repeated key, last tags table",
         file_of(entry("0", str_node("AppName", "first") + table_node("tags", str_node("0", "a")) +
                                str_node("AppName", "N") +
                                table_node("tags", str_node("7", "b") + int_node("1", 4) +
                                                       str_node("x", "c")))),
         {[&] {
             SteamShortcut s = tagged;
             s.app_name = "N";
             return s;
         }()}},
        {"other nodes kept in file order",
         file_of(entry("0", str_node("sortas", "Sort") + str_node("AppName", "N") +
                                int_node("hidden", 1) +
                                table_node("Group", str_node("a", "x") + int_node("b", 2)) +
                                str_node("sortas", "Again"))),
         {with_extras}},
        {"invalid UTF-8 replaced",
         file_of(entry("\xFF", str_node("AppName",
                                        "a\xFF"
                                        "b\xC3") +
                                   str_node("k\x80", "\xE2\x82") +
                                   table_node("tags", str_node("0", "\xF0\x9F\x8E\xFF")))),
         {bad_utf8}},
        {"ends after a complete field",
         header() + nul() + "0" + nul() + str_node("AppName", "Cut") + str_node("Exe", "E"),
         {partial}},
        {"ends inside tags",
         header() + nul() + "0" + nul() + str_node("AppName", "Cut") + nul() + "tags" + nul() +
             str_node("0", "t0"),
         {partial_tags}},
        {"ends after the entry name", header() + nul() + "0" + nul(), {SteamShortcut{}}},
        {"junk after the root table ignored", file_of(e) + "\x03junk\xFF", {SteamShortcut{}}},
        {"first non-table byte ends the entries",
         header() + e + "\x01" + "AppName" + nul() + "x" + nul() + e,
         {SteamShortcut{}}},
    };
}

TEST(ShortcutsVdf, ParsesEdgeCases) {
    for (const auto& c : parse_cases()) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_TRUE(parsed.has_value()) << c.name << ": " << parsed.error().message;
        EXPECT_EQ(*parsed, c.expected) << c.name;
        // Whatever was read writes back to something that reads the same.
        const auto again = parse_shortcuts_vdf(serialize_shortcuts_vdf(*parsed));
        ASSERT_TRUE(again.has_value()) << c.name;
        EXPECT_EQ(*again, *parsed) << c.name;
    }
}

struct FailCase {
    std::string name;
    std::string bytes;
    ErrorKind kind;
    std::string message;
};

TEST(ShortcutsVdf, FailsWithTheKindAndMessageOfEachFault) {
    const auto eof = ErrorKind::UnexpectedEof;
    const auto bad = ErrorKind::InvalidData;
    const std::string in_entry = header() + nul() + "0" + nul();
    const std::string in_tags = in_entry + nul() + "tags" + nul();
    const std::vector<FailCase> cases = {
        {"header byte", "\x01shortcuts" + nul(), bad, "Invalid VDF header"},
        {"text file", "\"shortcuts\"\n{\n}\n", bad, "Invalid VDF header"},
        {"root capital S", nul() + "Shortcuts" + nul() + "\x08\x08", bad,
         "Expected root 'shortcuts', got 'Shortcuts'"},
        {"root too short", nul() + "shortcut" + nul(), bad,
         "Expected root 'shortcuts', got 'shortcut'"},
        {"root empty", nul() + nul(), bad, "Expected root 'shortcuts', got ''"},
        {"root invalid UTF-8", nul() + "sh\xFF" + nul(), bad,
         "Expected root 'shortcuts', got 'sh" + kR + "'"},
        {"lone header byte", nul(), eof, "Unterminated CString in VDF"},
        {"root name cut", nul() + "short", eof, "Unterminated CString in VDF"},
        {"entry name cut", header() + nul() + "12", eof, "Unterminated CString in VDF"},
        {"key cut", in_entry + "\x01" + "AppNa", eof, "Unterminated CString in VDF"},
        {"marker at the end", in_entry + "\x01", eof, "Unterminated CString in VDF"},
        {"value cut", in_entry + "\x01" + "AppName" + nul() + "Gam", eof,
         "Unterminated CString in VDF"},
        {"tag cut", in_tags + "\x01" + "0" + nul() + "ta", eof, "Unterminated CString in VDF"},
        {"key read before marker check", in_entry + "\x03" + "flo", eof,
         "Unterminated CString in VDF"},
        {"int32 cut", in_entry + "\x02" + "appid" + nul() + "\x01\x02\x03", eof,
         "Unexpected EOF reading i32"},
        {"int32 of unknown key cut", in_entry + "\x02" + "x" + nul(), eof,
         "Unexpected EOF reading i32"},
        {"int32 in tags cut", in_tags + "\x02" + "0" + nul() + "\x01", eof,
         "Unexpected EOF reading i32"},
        {"int32 in other table cut", in_entry + nul() + "g" + nul() + "\x02" + "0" + nul(), eof,
         "Unexpected EOF reading i32"},
        {"table in tags", in_tags + nul() + "0" + nul() + "\x08", bad,
         "Unknown sub-key type in nested table 'tags': 0x00"},
        {"marker 07 in Tags", in_entry + nul() + "Tags" + nul() + "\x07" + "0" + nul(), bad,
         "Unknown sub-key type in nested table 'Tags': 0x07"},
        {"marker ff in other table", in_entry + nul() + "grp\xFF" + nul() + "\xFF" + "0" + nul(),
         bad, "Unknown sub-key type in nested table 'grp" + kR + "': 0xff"},
        {"float node in entry",
         in_entry + "\x03" + "f" + nul() + std::string("\x00\x00\x80\x3F", 4), bad,
         "Unknown BKV type marker: 0x03"},
        {"marker ef in entry", in_entry + "\xEF" + "x" + nul(), bad,
         "Unknown BKV type marker: 0xef"},
        {"fault in a later entry discards all",
         file_of(entry("0", str_node("AppName", "ok")) + nul() + "1" + nul() + "\x05" + "x" +
                 nul()),
         bad, "Unknown BKV type marker: 0x05"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_FALSE(parsed.has_value()) << c.name;
        EXPECT_EQ(parsed.error().kind, c.kind) << c.name;
        EXPECT_EQ(parsed.error().message, c.message) << c.name;
    }
}

TEST(ShortcutsVdf, ReadCStringAdvancesPastTheNul) {
    struct Case {
        std::string buffer;
        std::size_t pos;
        std::optional<std::string> text;  // nullopt: fails
        std::size_t next;
    };
    const std::string long_ascii(40, 'a');
    const std::vector<Case> cases = {
        {"abc" + nul() + "d", 0, "abc", 4},
        {"abc" + nul() + "d" + nul(), 4, "d", 6},
        {"abc" + nul(), 3, "", 4},
        {long_ascii + nul(), 0, long_ascii, 41},
        {long_ascii + "\xC3\xA9" + long_ascii + nul(), 0, long_ascii + "\xC3\xA9" + long_ascii, 83},
        {long_ascii + "\xFF" + nul(), 0, long_ascii + kR, 42},
        {"abc", 0, std::nullopt, 0},
        {"abc" + nul(), 4, std::nullopt, 0},
        {"abc" + nul(), 9, std::nullopt, 0},
        {"", 0, std::nullopt, 0},
        {long_ascii, 0, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        std::size_t pos = c.pos;
        const auto text = read_cstring(c.buffer, pos);
        if (c.text) {
            ASSERT_TRUE(text.has_value()) << c.buffer;
            EXPECT_EQ(*text, *c.text);
            EXPECT_EQ(pos, c.next);
        } else {
            ASSERT_FALSE(text.has_value()) << c.buffer;
            EXPECT_EQ(text.error().kind, ErrorKind::UnexpectedEof);
            EXPECT_EQ(text.error().message, "Unterminated CString in VDF");
        }
    }
}

}  // namespace
}  // namespace ml
