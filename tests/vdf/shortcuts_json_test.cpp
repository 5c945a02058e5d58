// The JSON that vdftool dump prints; end-to-end tests compare files through it.

#include <gtest/gtest.h>

#include "vdf/shortcuts_json.hpp"

namespace ml {
namespace {

TEST(ShortcutsJson, OneEntryPerLineInWriterOrder) {
    SteamShortcut s;
    s.appid = 3347587637u;
    s.app_name = "Caf\xC3\xA9 \"1\"";
    s.exe = "\"C:\\a.exe\"";
    s.launch_options = std::string("a\tb\x01\x7F", 5);
    s.last_play_time = 0xFFFFFFFF;
    s.tags = {"x", "y\n"};
    s.extra_nodes = {{"sortas", std::string("Cafe")},
                     {"n", 5u},
                     {"grp", std::vector<VdfLeaf>{{"a", std::string("b")}, {"c", 1u}}}};
    const std::string line =
        R"({"appid":3347587637,"AppName":"Caf)"
        "\xC3\xA9"
        R"( \"1\"","Exe":"\"C:\\a.exe\"","StartDir":"","icon":"","ShortcutPath":"",)"
        R"("LaunchOptions":"a\tb\u0001)"
        "\x7F"
        R"(","IsHidden":0,"AllowDesktopConfig":1,"AllowOverlay":1,"OpenVR":0,"Devkit":0,)"
        R"("DevkitGameID":"","DevkitOverrideAppID":0,"LastPlayTime":4294967295,)"
        R"("FlatpakAppID":"","sortas":"Cafe","n":5,"grp":{"a":"b","c":1},"tags":["x","y\n"]})";
    EXPECT_EQ(shortcut_to_json(s), line);

    SteamShortcut plain;
    plain.app_name = "bad\xFF";
    const std::string plain_line = shortcut_to_json(plain);
    EXPECT_NE(plain_line.find(R"("AppName":"bad)"
                              "\xEF\xBF\xBD"
                              R"(")"),
              std::string::npos);

    EXPECT_EQ(shortcuts_to_json({}), "[]\n");
    EXPECT_EQ(shortcuts_to_json(std::vector{s, plain}),
              "[\n" + line + ",\n" + plain_line + "\n]\n");
}

}  // namespace
}  // namespace ml
