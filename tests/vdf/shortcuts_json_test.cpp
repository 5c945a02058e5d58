// The JSON that vdftool dump prints; end-to-end tests compare files through it.

#include <gtest/gtest.h>

#include "vdf/shortcuts_json.hpp"

namespace ml {
namespace {

TEST(ShortcutsJson, OneEntryPerLineInWriterOrder) {
    SteamShortcut s;
    s.appid = 3347587637u;
    s.app_name = "Caf\xC3\xA9 \"1\"\xFF";
    s.exe = "\"C:\\a.exe\"";
    s.launch_options = "a\tb\x01";
    s.last_play_time = 0xFFFFFFFF;
    s.tags = {"x", "y\n"};
    s.extra_nodes = {{"sortas", std::string("Cafe")},
                     {"n", 5u},
                     {"grp", std::vector<VdfLeaf>{{"a", std::string("b")}, {"c", 1u}}},
                     {"f", VdfFixed{0x03, std::string("\x00\x00\x80\x3F", 4)}}};
    const std::string line =
        R"({"appid":3347587637,"AppName":"Caf)"
        "\xC3\xA9"
        R"( \"1\")"
        "\xEF\xBF\xBD"
        R"(","Exe":"\"C:\\a.exe\"","StartDir":"","icon":"","ShortcutPath":"",)"
        R"("LaunchOptions":"a\tb\u0001","IsHidden":0,"AllowDesktopConfig":1,"AllowOverlay":1,)"
        R"("OpenVR":0,"Devkit":0,"DevkitGameID":"","DevkitOverrideAppID":0,)"
        R"("LastPlayTime":4294967295,"FlatpakAppID":"","sortas":"Cafe","n":5,)"
        R"("grp":{"a":"b","c":1},"f":{"type":3,"bytes":"0000803f"},"tags":["x","y\n"]})";
    EXPECT_EQ(shortcut_to_json(s), line);
    const std::string plain = shortcut_to_json(SteamShortcut{});
    EXPECT_EQ(shortcuts_to_json({}), "[]\n");
    EXPECT_EQ(shortcuts_to_json(std::vector{s, SteamShortcut{}}),
              "[\n" + line + ",\n" + plain + "\n]\n");
}

}  // namespace
}  // namespace ml
