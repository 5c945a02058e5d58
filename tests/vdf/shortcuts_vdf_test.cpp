#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

using namespace vdf_test;

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

SteamShortcut named(std::string name, std::vector<std::string> tags = {}) {
    SteamShortcut s;
    s.app_name = std::move(name);
    s.tags = std::move(tags);
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

TEST(ShortcutsVdf, WritesTheCanonicalLayoutAndReadsItBack) {
    SteamShortcut game = named("Game");
    game.appid = 0xC7882235;
    game.exe = "\"a.exe\"";
    SteamShortcut extras = named("A", {"x", "y"});
    extras.extra_nodes = {{"sortas", std::string("Alpha")},
                          {"Hidden2", std::uint32_t{7}},
                          {"meta", std::vector<VdfLeaf>{{"k", std::string("v")}, {"n", 9u}}}};
    const std::string extra_bytes = str_node("sortas", "Alpha") + int_node("Hidden2", 7) +
                                    table_node("meta", str_node("k", "v") + int_node("n", 9));
    const std::string game_head(
        "\x00\x73\x68\x6F\x72\x74\x63\x75\x74\x73\x00\x00\x30\x00\x02\x61\x70\x70\x69\x64\x00"
        "\x35\x22\x88\xC7\x01\x41\x70\x70\x4E\x61\x6D\x65\x00\x47\x61\x6D\x65\x00",
        39);
    struct Case {
        std::vector<SteamShortcut> list;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {{}, std::string("\x00shortcuts\x00\x08\x08", 13)},
        {{game}, file_of(canonical_entry("0", game))},
        // Extra nodes go after FlatpakAppID and before tags; entries are numbered anew.
        {{extras, named("B")},
         file_of(canonical_entry("0", extras, extra_bytes) + canonical_entry("1", named("B")))},
    };
    for (const auto& c : cases) {
        const std::string bytes = serialize_shortcuts_vdf(c.list);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(streamed(std::span<const SteamShortcut>(c.list)), c.bytes);
        const auto parsed = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(parsed.has_value()) << parsed.error().message;
        EXPECT_EQ(*parsed, c.list);
    }
    const std::string one = serialize_shortcuts_vdf(std::vector{game});
    EXPECT_EQ(one.size(), 264u);
    EXPECT_EQ(one.substr(0, game_head.size()), game_head);
    EXPECT_EQ(one.substr(one.size() - 4), "\x08\x08\x08\x08");

    std::string out = "x";
    write_str(out, "Exe", "\"a.exe\"");
    EXPECT_EQ(out, "x" + str_node("Exe", "\"a.exe\""));
}

TEST(ShortcutsVdf, ReadsEdgeCases) {
    SteamShortcut all = named("N", {"t"});
    all.appid = 0x80000001;
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
    SteamShortcut with_extras = named("N");
    with_extras.extra_nodes = {{"sortas", std::string("Sort")},
                               {"hidden", 1u},
                               {"Group", std::vector<VdfLeaf>{{"a", std::string("x")}, {"b", 2u}}},
                               {"sortas", std::string("Again")}};
    // Older tools wrote Windows-1252: a rewrite must give the same bytes back.
    SteamShortcut as_read = named(
        "a\xFF"
        "b\xC3",
        {"\xF0\x9F\x8E\xFF"});
    as_read.extra_nodes = {{"k\x80", std::string("\xE2\x82")}};
    SteamShortcut fixed = named("N");
    fixed.extra_nodes = {{"f", VdfFixed{0x03, std::string("\x00\x00\x80\x3F", 4)}},
                         {"p", VdfFixed{0x04, "\x01\x02\x03\x04"}},
                         {"c", VdfFixed{0x06, std::string("\xFF\x00\x00\xFF", 4)}},
                         {"u", VdfFixed{0x07, "12345678"}},
                         {"g", std::vector<VdfLeaf>{{"i", VdfFixed{0x0A,
                                                                   "\xFF\xFF\xFF\xFF"
                                                                   "\xFF\xFF\xFF\xFF"}}}}};
    SteamShortcut cut = named("Cut");
    cut.exe = "E";

    const std::string e = entry("0", "");
    const std::string open = header() + nul() + "0" + nul();  // an entry, never closed
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<SteamShortcut> expected;
    };
    const std::vector<Case> cases = {
        {"empty buffer", "", {}},
        {"header only", header(), {}},
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
        {"last of a repeated key or tags table; tag keys and numbers dropped",
         file_of(entry("0", str_node("AppName", "first") + table_node("tags", str_node("0", "a")) +
                                str_node("AppName", "N") +
                                table_node("tags", str_node("7", "b") + int_node("1", 4) +
                                                       str_node("x", "c")))),
         {named("N", {"b", "c"})}},
        {"other nodes kept in file order",
         file_of(entry("0", str_node("sortas", "Sort") + str_node("AppName", "N") +
                                int_node("hidden", 1) +
                                table_node("Group", str_node("a", "x") + int_node("b", 2)) +
                                str_node("sortas", "Again"))),
         {with_extras}},
        {"invalid UTF-8 kept as read",
         file_of(entry("\xFF", str_node("AppName",
                                        "a\xFF"
                                        "b\xC3") +
                                   str_node("k\x80", "\xE2\x82") +
                                   table_node("tags", str_node("0", "\xF0\x9F\x8E\xFF")))),
         {as_read}},
        {"fixed-width nodes kept in order, skipped in tags, dropped under a field's key",
         file_of(entry("0",
                       "\x03"
                       "f" +
                           nul() + std::string("\x00\x00\x80\x3F", 4) + str_node("AppName", "N") +
                           "\x04"
                           "p" +
                           nul() + "\x01\x02\x03\x04" +
                           "\x06"
                           "c" +
                           nul() + std::string("\xFF\x00\x00\xFF", 4) +
                           "\x07"
                           "u" +
                           nul() + "12345678" +
                           "\x03"
                           "appid" +
                           nul() + "abcd" +
                           table_node("tags",
                                      "\x0A"
                                      "0" +
                                          nul() + "12345678") +
                           table_node("g",
                                      "\x0A"
                                      "i" +
                                          nul() + std::string(8, '\xFF')))),
         {fixed}},
        {"root named Shortcuts by older clients",
         nul() + "Shortcuts" + nul() + e + "\x08\x08",
         {SteamShortcut{}}},
        {"ends after the root's end", header() + e + "\x08", {SteamShortcut{}}},
        {"ends after a complete field",
         open + str_node("AppName", "Cut") + str_node("Exe", "E"),
         {cut}},
        {"ends inside tags",
         open + nul() + "tags" + nul() + str_node("0", "t0"),
         {named("", {"t0"})}},
        {"ends after the entry name", open, {SteamShortcut{}}},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_TRUE(parsed.has_value()) << c.name << ": " << parsed.error().message;
        EXPECT_EQ(*parsed, c.expected) << c.name;
        EXPECT_TRUE(view_agrees(c.bytes)) << c.name;
    }
}

TEST(ShortcutsVdf, FailsWithTheKindAndMessageOfEachFault) {
    const auto eof = ErrorKind::UnexpectedEof;
    const auto bad = ErrorKind::InvalidData;
    const std::string unterminated = "Unterminated CString in VDF";
    const std::string short_int = "Unexpected EOF reading i32";
    const std::string in_entry = header() + nul() + "0" + nul();
    const std::string in_tags = in_entry + nul() + "tags" + nul();
    struct Case {
        std::string name;
        std::string bytes;
        ErrorKind kind;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"header byte", "\x01shortcuts" + nul(), bad, "Invalid VDF header"},
        {"text file", "\"shortcuts\"\n{\n}\n", bad, "Invalid VDF header"},
        {"root shortcutz", nul() + "shortcutz" + nul() + "\x08\x08", bad,
         "Expected root 'shortcuts', got 'shortcutz'"},
        {"root shortcut", nul() + "shortcut" + nul(), bad,
         "Expected root 'shortcuts', got 'shortcut'"},
        {"root invalid UTF-8", nul() + "sh\xFF" + nul(), bad,
         "Expected root 'shortcuts', got 'sh" + kR + "'"},
        {"lone header byte", nul(), eof, unterminated},
        {"root name cut", nul() + "short", eof, unterminated},
        {"entry name cut", header() + nul() + "12", eof, unterminated},
        {"marker at the end", in_entry + "\x01", eof, unterminated},
        {"value cut", in_entry + "\x01" + "AppName" + nul() + "Gam", eof, unterminated},
        {"tag cut", in_tags + "\x01" + "0" + nul() + "ta", eof, unterminated},
        {"key read before the marker is judged", in_entry + "\x03" + "flo", eof, unterminated},
        {"int32 cut", in_entry + "\x02" + "appid" + nul() + "\x01\x02\x03", eof, short_int},
        {"int32 of an unknown key cut", in_entry + "\x02" + "x" + nul(), eof, short_int},
        {"int32 in tags cut", in_tags + "\x02" + "0" + nul() + "\x01", eof, short_int},
        {"int32 in another table cut", in_entry + nul() + "g" + nul() + "\x02" + "0" + nul(), eof,
         short_int},
        {"table in tags", in_tags + nul() + "0" + nul() + "\x08", bad,
         "Unknown sub-key type in nested table 'tags': 0x00"},
        {"marker 05 in Tags", in_entry + nul() + "Tags" + nul() + "\x05" + "0" + nul(), bad,
         "Unknown sub-key type in nested table 'Tags': 0x05"},
        {"marker ff in another table", in_entry + nul() + "g\xFF" + nul() + "\xFF" + "0" + nul(),
         bad, "Unknown sub-key type in nested table 'g" + kR + "': 0xff"},
        {"marker 05 in an entry", in_entry + "\x05" + "w" + nul() + "\x01\x02\x03\x04", bad,
         "Unknown BKV type marker: 0x05"},
        {"float cut", in_entry + "\x03" + "f" + nul() + "\x01\x02\x03", eof,
         "Unexpected EOF reading fixed-width value"},
        {"int64 in tags cut", in_tags + "\x0A" + "0" + nul() + "1234567", eof,
         "Unexpected EOF reading fixed-width value"},
        // Anything but entries and the two end bytes at the root level would be lost by the
        // next write, so it is damage, not something to skip.
        {"string node before the entries",
         file_of(str_node("x", "y") + entry("0", str_node("AppName", "kept"))), bad,
         "Unknown BKV type marker at root level: 0x01"},
        {"entries after a stray root end",
         header() + entry("0", "") + "\x08" + entry("1", str_node("AppName", "lost")) + "\x08", bad,
         "Unexpected data after the root table: 0x31"},
        {"junk after the end", file_of(entry("0", "")) + "\x03junk", bad,
         "Unexpected data after the root table: 0x03"},
        {"fault in a later entry discards all",
         file_of(entry("0", str_node("AppName", "ok")) + nul() + "1" + nul() + "\xEF" + "x" +
                 nul()),
         bad, "Unknown BKV type marker: 0xef"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_FALSE(parsed.has_value()) << c.name;
        EXPECT_EQ(parsed.error().kind, c.kind) << c.name;
        EXPECT_EQ(parsed.error().message, c.message) << c.name;
        EXPECT_TRUE(view_agrees(c.bytes)) << c.name;
    }
}

// What a crash, a sync tool or an editor leaves after the root table is not data: the file
// reads as if it were not there. Only end bytes, zeros and ASCII white space count as that.
TEST(ShortcutsVdf, PaddingAfterTheRootTableIsIgnoredButNodesThereAreDamage) {
    const std::vector<SteamShortcut> two = {named("A", {"t"}), named("B")};
    const std::string entries =
        entry("0", str_node("AppName", "A") + table_node("tags", str_node("0", "t"))) +
        entry("1", str_node("AppName", "B"));
    const std::string closed = file_of(entries);  // ends in the root's end and one more 0x08
    const std::string root_end_only = header() + entries + "\x08";
    struct Padded {
        std::string name;
        std::string bytes;
        std::vector<SteamShortcut> expected;
    };
    const std::vector<Padded> padded = {
        {"nothing", closed, two},
        {"a third end byte", closed + "\x08", two},
        {"many end bytes", closed + std::string(40, '\x08'), two},
        {"a line feed", closed + "\n", two},
        {"CR LF", closed + "\r\n", two},
        {"4 KB of zeros", closed + std::string(4096, '\0'), two},
        {"white space of every kind", closed + " \t\n\v\f\r", two},
        {"zeros, end bytes and breaks mixed", closed + nul() + "\x08\r\n" + nul() + " \x08", two},
        {"a line feed after the root's end alone", root_end_only + "\n", two},
        {"zeros after the root's end alone", root_end_only + std::string(512, '\0'), two},
        {"after an empty table", file_of("") + "\r\n" + nul(), {}},
    };
    for (const auto& c : padded) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_TRUE(parsed.has_value()) << c.name << ": " << parsed.error().message;
        EXPECT_EQ(*parsed, c.expected) << c.name;
        EXPECT_TRUE(view_agrees(c.bytes)) << c.name;
    }

    // An entry or any other node after the end would be lost by the next write.
    struct Damaged {
        std::string name;
        std::string bytes;
        std::string message;
    };
    const std::vector<Damaged> damaged = {
        {"an entry after a stray end", root_end_only + entry("2", str_node("AppName", "C")),
         "Unexpected data after the root table: 0x32"},
        {"an entry after padding", closed + "\r\n" + entry("2", str_node("AppName", "C")),
         "Unexpected data after the root table: 0x32"},
        {"a string node after the end", closed + str_node("AppName", "C"),
         "Unexpected data after the root table: 0x01"},
        {"an int32 node after zeros", closed + std::string(64, '\0') + int_node("appid", 7),
         "Unexpected data after the root table: 0x02"},
        {"text after a line feed", closed + "\nx", "Unexpected data after the root table: 0x78"},
        {"a byte beyond ASCII", closed + "\xA0", "Unexpected data after the root table: 0xa0"},
    };
    for (const auto& c : damaged) {
        const auto parsed = parse_shortcuts_vdf(c.bytes);
        ASSERT_FALSE(parsed.has_value()) << c.name;
        EXPECT_EQ(parsed.error().kind, ErrorKind::InvalidData) << c.name;
        EXPECT_EQ(parsed.error().message, c.message) << c.name;
        EXPECT_TRUE(view_agrees(c.bytes)) << c.name;
    }
}

// Lists whose files cross the writer's buffer many times, at every kind of node: entries of
// growing texts and tags, and single texts longer than the buffer.
std::vector<std::pair<std::string, std::vector<SteamShortcut>>> lists_beyond_the_buffer() {
    std::vector<SteamShortcut> many;
    for (std::size_t i = 0; i < 1500; ++i) {
        SteamShortcut s = named(std::string(1 + i % 97, 'n'), {std::string(i % 13, 't'), "x"});
        s.appid = static_cast<std::uint32_t>(i * 2654435761u);
        s.exe = "\"" + std::string(i % 61, 'e') + "\"";
        if (i % 5 == 0) s.extra_nodes = {{"sortas", std::string(i % 31, 's')}, {"k", 7u}};
        if (i % 7 == 0) {
            s.extra_nodes.push_back(
                {"g", std::vector<VdfLeaf>{{"f", VdfFixed{0x07, "12345678"}}, {"a", "b"}}});
        }
        many.push_back(std::move(s));
    }
    SteamShortcut huge = named("Huge");
    huge.launch_options = std::string(3 * kVdfWriteBufferSize + 5, 'L');
    SteamShortcut exact = named("Exact");
    exact.icon = std::string(kVdfWriteBufferSize, 'I');
    SteamShortcut huge_tag = named("Tag", {std::string(kVdfWriteBufferSize + 1, 'T')});
    return {{"empty", {}},
            {"1500 entries", many},
            {"a text of three buffers", {named("a"), huge, named("b")}},
            {"a text of one buffer", {exact, exact}},
            {"a tag longer than the buffer", {huge_tag}}};
}

TEST(ShortcutsVdf, StreamingWritersGiveTheStringWritersBytesInBoundedPieces) {
    for (const auto& [name, list] : lists_beyond_the_buffer()) {
        SCOPED_TRACE(name);
        const std::string written = serialize_shortcuts_vdf(list);
        RecordingSink sink;
        ASSERT_TRUE(write_shortcuts_vdf(list, sink));
        EXPECT_TRUE(sink.joined() == written);
        // The writer never holds more than its buffer, except a single longer text.
        for (const std::string& piece : sink.pieces) {
            EXPECT_FALSE(piece.empty());
            if (piece.size() > kVdfWriteBufferSize) {
                EXPECT_EQ(piece.find_first_not_of(piece[0]), std::string::npos);
            }
        }
        EXPECT_GE(sink.pieces.size(), written.size() / (4 * kVdfWriteBufferSize));
        // The view of the written file writes it again as it is.
        const auto view = parse_shortcuts_vdf_view(written);
        ASSERT_TRUE(view.has_value());
        EXPECT_EQ(view->entries.size(), list.size());
        EXPECT_TRUE(streamed(*view) == written);
        EXPECT_TRUE(to_shortcuts(*view) == list);
    }
}

TEST(ShortcutsVdf, StreamingWritersStopAtTheSinksFirstRefusal) {
    const auto lists = lists_beyond_the_buffer();
    const std::vector<SteamShortcut>& many = lists[1].second;
    const std::string written = serialize_shortcuts_vdf(many);
    ASSERT_GT(written.size(), 4 * kVdfWriteBufferSize);
    const auto view = parse_shortcuts_vdf_view(written);
    ASSERT_TRUE(view.has_value());
    for (const std::size_t refuse_at : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
        SCOPED_TRACE(refuse_at);
        RecordingSink owned_sink, view_sink;
        owned_sink.refuse_at = view_sink.refuse_at = refuse_at;
        EXPECT_FALSE(write_shortcuts_vdf(many, owned_sink));
        EXPECT_FALSE(write_shortcuts_vdf(*view, view_sink));
        // Nothing is handed over after the refusal, and what was is the file's beginning.
        for (const RecordingSink* sink : {&owned_sink, &view_sink}) {
            EXPECT_EQ(sink->pieces.size(), refuse_at + 1);
            EXPECT_TRUE(written.starts_with(sink->joined()));
        }
    }
}

// A view's places are 32-bit, so larger buffers must be refused before a byte is read. The
// buffer here is address space that cannot be read beyond its first byte, an invalid header.
TEST(ShortcutsVdf, BuffersOf4GiBOrMoreAreRefusedUnread) {
    constexpr std::size_t kSpace = kMaxShortcutsVdfBytes + std::size_t{4096};
#ifdef _WIN32
    void* space = VirtualAlloc(nullptr, kSpace, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(space, nullptr);
    ASSERT_NE(VirtualAlloc(space, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
#else
    void* space =
        mmap(nullptr, kSpace, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(space, MAP_FAILED);
    ASSERT_EQ(mprotect(space, 4096, PROT_READ | PROT_WRITE), 0);
#endif
    static_cast<char*>(space)[0] = '\x01';
    const auto* bytes = static_cast<const char*>(space);
    struct Case {
        std::size_t size;
        std::string message;
    };
    for (const auto& [size, message] :
         std::vector<Case>{{kMaxShortcutsVdfBytes, "Invalid VDF header"},
                           {kMaxShortcutsVdfBytes + 1, "shortcuts.vdf of 4 GiB or more"},
                           {kSpace, "shortcuts.vdf of 4 GiB or more"}}) {
        const std::string_view buffer(bytes, size);
        const auto view = parse_shortcuts_vdf_view(buffer);
        const auto owned = parse_shortcuts_vdf(buffer);
        ASSERT_FALSE(view.has_value()) << size;
        ASSERT_FALSE(owned.has_value()) << size;
        EXPECT_EQ(view.error().kind, ErrorKind::InvalidData) << size;
        EXPECT_EQ(view.error().message, message) << size;
        EXPECT_EQ(owned.error(), view.error()) << size;
    }
#ifdef _WIN32
    VirtualFree(space, 0, MEM_RELEASE);
#else
    munmap(space, kSpace);
#endif
}

TEST(ShortcutsVdf, ReadCStringAdvancesPastTheNul) {
    const std::string a40(40, 'a');
    const std::vector<std::tuple<std::string, std::size_t, std::string, std::size_t>> cases = {
        {"abc" + nul() + "d" + nul(), 4, "d", 6},
        {"abc" + nul(), 3, "", 4},
        {a40 + "\xC3\xA9" + a40 + nul(), 0, a40 + "\xC3\xA9" + a40, 83},
        {a40 + "\xFF" + nul(), 0, a40 + "\xFF", 42},
    };
    for (const auto& [buffer, start, text, next] : cases) {
        std::size_t pos = start;
        const auto read = read_cstring(buffer, pos);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, text);
        EXPECT_EQ(pos, next);
    }
    for (const auto& [buffer, start] : std::vector<std::pair<std::string, std::size_t>>{
             {"abc", 0}, {a40, 0}, {"abc" + nul(), 4}, {"abc" + nul(), 9}, {"", 0}}) {
        std::size_t pos = start;
        const auto read = read_cstring(buffer, pos);
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error().kind, ErrorKind::UnexpectedEof);
        EXPECT_EQ(read.error().message, "Unterminated CString in VDF");
    }
}

}  // namespace
}  // namespace ml
