// vdftool: a developer's look into users' shortcuts.vdf files (native build, not shipped).

#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "vdf/appid.hpp"
#include "vdf/shortcuts_json.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"
#include "vdf_files.hpp"

namespace {

constexpr std::string_view kUsage = R"(usage:
  vdftool dump FILE          print the entries of a shortcuts.vdf as JSON
  vdftool roundtrip IN OUT   read IN and write it back to OUT in the canonical layout
  vdftool appid EXE NAME     print the shortcut app id of EXE (as stored, quotes included)
                             and NAME, in unsigned decimal

dump prints one JSON array with one entry per line:
  [
  {"appid":3347587637,"AppName":"Game","Exe":"\"a.exe\"","StartDir":"","icon":"",...,"tags":["a"]},
  {...}
  ]
and "[]" for a file without entries. The keys of an entry, always in this order:
  appid AppName Exe StartDir icon ShortcutPath LaunchOptions IsHidden AllowDesktopConfig
  AllowOverlay OpenVR Devkit DevkitGameID DevkitOverrideAppID LastPlayTime FlatpakAppID,
then every other node of the entry in file order under its own spelling (a string as a
JSON string, an int32 as a number, a nested table as an object of its children in order),
then "tags" as a list. This is the order in which the program writes the file. Integers
are unsigned decimal; texts are UTF-8 (invalid bytes read as U+FFFD) with ", \ and control
characters escaped. A key that occurs twice among the other nodes is printed twice.

Errors go to standard error and the exit status is 1.
)";

int usage_error() {
    std::cerr << kUsage;
    return 1;
}

int fail_read(const char* path, const std::string& why) {
    std::cerr << "vdftool: cannot read " << path << ": " << why << '\n';
    return 1;
}

int fail_write(const char* path, int error) {
    std::cerr << "vdftool: cannot write " << path << ": " << std::strerror(error) << '\n';
    return 1;
}

int dump(const char* path) {
    ml::tools::FileBytes file;
    if (const std::string why = file.open(path); !why.empty()) return fail_read(path, why);
    const auto view = ml::parse_shortcuts_vdf_view(file.bytes());
    if (!view) {
        std::cerr << "vdftool: " << path << ": " << view.error().message << '\n';
        return 1;
    }
    // One line at a time, in the layout of shortcuts_to_json; one entry's record at a time.
    const auto& entries = view->entries;
    if (entries.empty()) {
        std::cout << "[]\n";
    } else {
        std::cout << "[\n";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::cout << ml::shortcut_to_json(ml::to_shortcut(*view, entries[i]))
                      << (i + 1 < entries.size() ? ",\n" : "\n");
        }
        std::cout << "]\n";
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

int roundtrip(const char* in_path, const char* out_path) {
    ml::tools::FileBytes file;
    if (const std::string why = file.open(in_path); !why.empty()) return fail_read(in_path, why);
    const auto view = ml::parse_shortcuts_vdf_view(file.bytes());
    if (!view) {
        std::cerr << "vdftool: " << in_path << ": " << view.error().message << '\n';
        return 1;
    }
    if (const int error = ml::tools::write_file_replacing(out_path, *view); error != 0) {
        return fail_write(out_path, error);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "-h" || command == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "dump" && argc == 3) return dump(argv[2]);
    if (command == "roundtrip" && argc == 4) return roundtrip(argv[2], argv[3]);
    if (command == "appid" && argc == 4) {
        std::cout << ml::compute_steam_appid(argv[2], argv[3]) << '\n';
        return 0;
    }
    return usage_error();
}
