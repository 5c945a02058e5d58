#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>

#include "platform/powershell.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

using Strings = std::vector<std::string>;

TEST(SteamRules, RegQueryOutputLines) {
    const std::string wine_output =
        "\r\nHKEY_CURRENT_USER\\Software\\Valve\\Steam\r\n"
        "    SteamPath    REG_SZ    c:/program files (x86)/steam\r\n"
        "    SteamExe    REG_SZ    c:/program files (x86)/steam/steam.exe\r\n\r\n";
    struct Case {
        std::string output, value;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {wine_output, "SteamPath", {"c:/program files (x86)/steam"}},
        {wine_output, "steampath", {}},  // the value name is matched exactly
        // Every used line counts, a last line without a line feed too, and spaces inside
        // the data stay.
        {"a InstallPath REG_SZ  C:\\A \n b InstallPath REG_SZ\tD:\\B C\t",
         "InstallPath",
         {"C:\\A", "D:\\B C"}},
        {"    InstallPath    REG_DWORD    0x2a\r\n", "InstallPath", {}},
        {"    InstallPath    REG_EXPAND_SZ    %X%\r\n", "InstallPath", {}},
        // The text after the first REG_SZ, even when it holds REG_SZ again.
        {"InstallPath REG_SZ x REG_SZ y", "InstallPath", {"x REG_SZ y"}},
        // Unicode white space around the data goes (NBSP, ideographic space, CR alone).
        {"InstallPath REG_SZ \xC2\xA0"
         "C:\\S\xE3\x80\x80\r",
         "InstallPath",
         {"C:\\S"}},
        // Bytes that are not UTF-8 (a code page reg used) become U+FFFD.
        {"InstallPath REG_SZ C:\\Caf\x82\r\n", "InstallPath", {"C:\\Caf\xEF\xBF\xBD"}},
        {"InstallPath REG_SZ    \r\n", "InstallPath", {""}},
        {"", "InstallPath", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(reg_sz_values(c.output, c.value), c.expected) << c.output;
}

TEST(SteamRules, PathIdentityByComponents) {
    struct Case {
        std::string a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {R"(C:\Program Files (x86)\Steam)", "C:/Program Files (x86)/Steam", true},
        {R"(C:\Program Files (x86)\Steam)", R"(c:\Program Files (x86)\Steam\)", true},
        {R"(C:\Steam)", R"(C:\\Steam//)", true},
        {R"(C:\a\.\b)", R"(C:\a\b)", true},
        {"c:/program files (x86)/steam", R"(C:\Program Files (x86)\Steam)", false},
        {R"(C:\Steam)", R"(C:\steam)", false},
        {R"(C:\Steam)", R"(D:\Steam)", false},
        {R"(C:\Steam)", "C:Steam", false},
        {R"(\Steam)", "Steam", false},
        {R"(\\srv\share)", R"(\srv\share)", false},
        {"./.steam/steam", ".steam/steam", false},
        {"./.steam/steam", R"(.\.steam\steam\)", true},
        {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(same_path(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(same_path(c.b, c.a), c.same) << c.b << " | " << c.a;
    }

    Strings roots;
    EXPECT_TRUE(append_unique_path(roots, "c:/program files (x86)/steam"));
    EXPECT_TRUE(append_unique_path(roots, R"(C:\Program Files (x86)\Steam)"));
    EXPECT_FALSE(append_unique_path(roots, R"(C:\Program Files (x86)\Steam\)"));
    EXPECT_EQ(roots, (Strings{"c:/program files (x86)/steam", R"(C:\Program Files (x86)\Steam)"}));
}

TEST(SteamRules, ProgramFolderCandidates) {
    struct Case {
        std::map<std::string, std::string> env;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {{{"ProgramFiles(x86)", R"(C:\Program Files (x86))"},
          {"ProgramFiles", R"(C:\Program Files\)"},
          {"SystemDrive", "E:"}},
         {R"(C:\Program Files (x86)\Steam)", R"(C:\Program Files\Steam)", R"(E:\Steam)",
          R"(C:\Steam)", R"(D:\Steam)"}},
        // A folder that already ends in steam, in any case, is taken as it is.
        {{{"ProgramFiles(x86)", R"(D:\Games\STEAM)"}, {"ProgramFiles", "X:/mySteam"}},
         {R"(D:\Games\STEAM)", "X:/mySteam", R"(C:\Steam)", R"(D:\Steam)"}},
        {{{"ProgramFiles", "C:/Apps/"}, {"SystemDrive", ""}},
         {"C:/Apps/Steam", R"(\Steam)", R"(C:\Steam)", R"(D:\Steam)"}},
        {{}, {R"(C:\Steam)", R"(D:\Steam)"}},
    };
    for (const auto& c : cases) {
        const auto lookup = [&](std::string_view name) -> std::optional<std::string> {
            auto it = c.env.find(std::string(name));
            if (it == c.env.end()) return std::nullopt;
            return it->second;
        };
        EXPECT_EQ(program_folder_candidates(lookup), c.expected);
    }
    EXPECT_EQ(home_layout_candidates(std::nullopt),
              (Strings{"./.local/share/Steam", "./.steam/steam", "./.steam/root",
                       "./.var/app/com.valvesoftware.Steam/data/Steam"}));
    EXPECT_EQ(home_layout_candidates("C:\\h")[1], "C:\\h/.steam/steam");
}

TEST(SteamRules, AccountNamesAndWebAddresses) {
    for (const char* yes : {"12345678", "00", "1", "4294967295"}) {
        EXPECT_TRUE(is_account_folder_name(yes)) << yes;
    }
    for (const char* no : {"0", "anonymous", "123a", "", " 12", "\xEF\xBC\x91"}) {
        EXPECT_FALSE(is_account_folder_name(no)) << no;
    }

    for (const char* web : {"http://x", "https://127.0.0.1:8/a.png", "http://"}) {
        EXPECT_TRUE(is_web_address(web)) << web;
    }
    for (const char* local :
         {"HTTP://x", "Https://x", "ftp://x", "file:///C:/a", "C:\\a.png", ""}) {
        EXPECT_FALSE(is_web_address(local)) << local;
    }
}

TEST(SteamRules, OnlyThisSessionsSteamCounts) {
    const std::vector<ProcessEntry> processes = {
        {"steam.exe", 10, 1},                   // ours
        {"STEAM.EXE", 11, 1},                   // ours, listed in capitals
        {"steam.exe", 12, 2},                   // another signed-in user's
        {"steam.exe", 13, std::nullopt},        // session unknown: may be ours, run elevated
        {"steam.exe", 18, std::nullopt, true},  // left out of our session list: another user's
        {"steamwebhelper.exe", 14, 1},          // Steam's helper, not the client
        {"steam.exe.bak", 15, 1},
        {"xsteam.exe", 16, 1},
        {"explorer.exe", 17, 1},
    };
    EXPECT_EQ(steam_process_ids(processes, 1), (std::vector<std::uint32_t>{10, 11, 13}));
    EXPECT_EQ(steam_process_ids(processes, 2), (std::vector<std::uint32_t>{12, 13}));
    EXPECT_EQ(steam_process_ids(processes, 0), (std::vector<std::uint32_t>{13}));
    EXPECT_EQ(steam_process_ids({}, 1), (std::vector<std::uint32_t>{}));
}

TEST(SteamRules, AnotherUsersSteamHoldsTheFolderItRunsFrom) {
    // Session 1 is ours. The registry's lower-case spelling names the same folder as the second
    // root: `same` stands in for the identity on disk.
    const Strings roots = {"c:/program files (x86)/steam", R"(C:\Program Files (x86)\Steam)",
                           R"(D:\Steam)"};
    const SameFolder same = [](std::string a, std::string b) {
        for (std::string* s : {&a, &b}) {
            std::replace(s->begin(), s->end(), '/', '\\');
            for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return a == b;
    };
    const std::string pf = R"(C:\Program Files (x86)\Steam)";
    // A steam.exe in `session`, left out of our session list when `other_user`, whose program
    // was read in `folder` (nullopt: it could not be opened).
    const auto steam = [](std::optional<std::uint32_t> session, bool other_user,
                          std::optional<std::string> folder) {
        if (folder) *folder += "\\steam.exe";
        return ProcessEntry{"steam.exe", 10, session, other_user, folder};
    };
    struct Case {
        const char* name;
        std::vector<ProcessEntry> processes;
        std::string held;    // per root, '1' when held
        std::string folder;  // where the Steam that holds them runs; "" when not placed
    };
    const std::vector<Case> cases = {
        {"ours", {steam(1, false, pf), steam(std::nullopt, false, {})}, "000", ""},
        {"another session", {steam(2, false, pf)}, "110", pf},
        {"another user", {steam({}, true, R"(D:\Steam)")}, "001", R"(D:\Steam)"},
        {"outside every root", {steam(2, false, R"(E:\Steam)")}, "000", ""},
        // A standard user cannot open another user's process: it may run from any root.
        {"another user, not placed", {steam({}, true, {})}, "111", ""},
        {"another session, not placed", {steam(0, false, {})}, "111", ""},
        {"one placed, one not", {steam(2, false, pf), steam(3, false, {})}, "111", ""},
        {"two from one folder", {steam(2, false, pf), steam(3, false, pf)}, "110", pf},
        {"another user's helper", {{"steamwebhelper.exe", 10, std::nullopt, true}}, "000", ""},
    };
    for (const auto& c : cases) {
        const SteamRootsHeld split = steam_roots_held_elsewhere(c.processes, 1, roots, same);
        Strings held, free;
        for (std::size_t i = 0; i < roots.size(); ++i)
            (c.held[i] == '1' ? held : free).push_back(roots[i]);
        EXPECT_EQ(split.held, held) << c.name;
        EXPECT_EQ(split.free, free) << c.name;
        EXPECT_EQ(split.folders, c.folder.empty() ? Strings{} : Strings{c.folder}) << c.name;
        EXPECT_EQ(split.unplaced, c.held == "111" && c.folder.empty()) << c.name;
    }
}

TEST(SteamRules, CloseWaitAndItsTestOverride) {
    using std::chrono::milliseconds;
    EXPECT_EQ(kSteamCloseWait, milliseconds(30'000));
    EXPECT_EQ(steam_close_wait_with(std::nullopt), kSteamCloseWait);
    EXPECT_EQ(steam_close_wait_with("1500"), milliseconds(1500));
    for (const char* ignored : {"", "0", "-5", "2s", " 100", "99999999999"})
        EXPECT_EQ(steam_close_wait_with(ignored), kSteamCloseWait) << ignored;
}

TEST(SteamRules, AnElevatedRunHandsSteamToTheUsersShell) {
    using Route = SteamStartRoute;
    using Shell = DesktopShell;
    struct Case {
        const char* name;
        bool elevated;
        bool split_token;
        Shell shell;
        Route route;
    };
    const std::vector<Case> cases = {
        {"standard run", false, false, Shell::OwnUserNormal, Route::Direct},
        {"standard run, no shell", false, false, Shell::Unknown, Route::Direct},
        {"Run as administrator, the shell has the normal token", true, true, Shell::OwnUserNormal,
         Route::DesktopShell},
        // Asking the shell's automation server with no shell running would start one with
        // our token: nothing gives the user's normal token then.
        {"Run as administrator, no shell", true, true, Shell::Unknown, Route::LeaveClosed},
        {"elevated without a split token (UAC off), no shell", true, false, Shell::Unknown,
         Route::Direct},
        {"elevated like the shell (UAC off, the built-in Administrator, Wine)", true, true,
         Shell::OwnUserElevated, Route::Direct},
        // An administrator's account elevated over the shoulder of the signed-in user: the
        // shell would start Steam as that user, a direct start as the administrator.
        {"another account elevated over the user's shell", true, true, Shell::AnotherUser,
         Route::LeaveClosed},
        {"another account, elevated like the shell (UAC off)", true, false, Shell::AnotherUser,
         Route::LeaveClosed},
        {"a standard run as another account is not asked", false, false, Shell::AnotherUser,
         Route::Direct},
    };
    for (const Case& c : cases)
        EXPECT_EQ(steam_start_route(c.elevated, c.split_token, c.shell), c.route) << c.name;
    // When the shell could not start it: never elevated where a normal token exists.
    EXPECT_EQ(steam_start_route_without_shell(true), Route::LeaveClosed);
    EXPECT_EQ(steam_start_route_without_shell(false), Route::Direct);
}

// `size` bytes of an image's headers: MZ, e_lfanew at 0x3C, then at `offset` the PE
// signature, machine, optional header size, flags and magic (what lies past `size` is cut).
std::string image_headers(std::uint16_t machine, std::uint16_t flags, std::uint16_t magic,
                          std::uint32_t offset = 0x80, std::size_t size = 0x200) {
    std::string h(size, '\0');
    const auto put = [&h](std::size_t at, std::uint32_t value, std::size_t width) {
        for (std::size_t k = 0; k < width && at + k < h.size(); ++k)
            h[at + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
    };
    put(0, 0x5A4D, 2);  // "MZ"
    put(0x3C, offset, 4);
    put(offset, 0x4550, 4);  // "PE\0\0"
    put(std::size_t{offset} + 4, machine, 2);
    put(std::size_t{offset} + 20, 0xF0, 2);
    put(std::size_t{offset} + 22, flags, 2);
    put(std::size_t{offset} + 24, magic, 2);
    return h;
}

TEST(SteamRules, X64ImageHeaders) {
    constexpr std::uint16_t kAmd64 = 0x8664, kI386 = 0x14C, kArm64 = 0xAA64;
    constexpr std::uint16_t kExe = 0x0022, kDll = 0x2022, kObject = 0x0020;
    constexpr std::uint16_t kPlus = 0x20B, kPe32 = 0x10B;
    struct Case {
        const char* name;
        std::string head;
        bool program, library;
    };
    const std::vector<Case> cases = {
        {"x64 program", image_headers(kAmd64, kExe, kPlus), true, false},
        {"x64 library", image_headers(kAmd64, kDll, kPlus), false, true},
        {"32-bit library (another program's loader)", image_headers(kI386, kDll, kPe32), false,
         false},
        {"x64 machine with a 32-bit optional header", image_headers(kAmd64, kDll, kPe32), false,
         false},
        {"ARM64 library", image_headers(kArm64, kDll, kPlus), false, false},
        {"not an executable image (an object file)", image_headers(kAmd64, kObject, kPlus), false,
         false},
        {"headers end exactly at the end", image_headers(kAmd64, kDll, kPlus, 0x80, 0x80 + 26),
         false, true},
        {"headers cut one byte short", image_headers(kAmd64, kDll, kPlus, 0x80, 0x80 + 25), false,
         false},
        {"header offset past the bytes", image_headers(kAmd64, kDll, kPlus, 0x5000), false, false},
        {"header offset that would wrap around", image_headers(kAmd64, kDll, kPlus, 0xFFFFFFF0),
         false, false},
        {"MZ alone", "MZ", false, false},
        {"a saved page (38 bytes)", "<html><body>Not found</body></html>\r\n\r\n", false, false},
        {"empty", "", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_x64_image_headers(c.head, ImageKind::Program), c.program) << c.name;
        EXPECT_EQ(is_x64_image_headers(c.head, ImageKind::Library), c.library) << c.name;
    }
    std::string no_signature = image_headers(kAmd64, kDll, kPlus);
    no_signature[0x80] = 'N';
    EXPECT_FALSE(is_x64_image_headers(no_signature, ImageKind::Library));
}

TEST(SteamRules, X64ImageSectionsMustLieWithinTheFile) {
    constexpr std::uint32_t kOffset = 0x80, kTable = kOffset + 24 + 0xF0;
    // An x64 program whose section table (after image_headers' 0xF0-byte optional header)
    // lists raw data at these (offset, size) places.
    const auto image = [](std::vector<std::pair<std::uint32_t, std::uint32_t>> sections,
                          std::size_t size = 0x400) {
        std::string h = image_headers(0x8664, 0x0022, 0x20B, kOffset, size);
        const auto put = [&h](std::size_t at, std::uint32_t value) {
            for (std::size_t k = 0; k < 4 && at + k < h.size(); ++k)
                h[at + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
        };
        h[kOffset + 6] = static_cast<char>(sections.size());
        for (std::size_t k = 0; k < sections.size(); ++k) {
            put(kTable + 40 * k + 16, sections[k].second);
            put(kTable + 40 * k + 20, sections[k].first);
        }
        return h;
    };
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> three = {
        {0x400, 0x9000}, {0x9400, 0x600}, {0x9A00, 0x200}};
    struct Case {
        const char* name;
        std::string head;
        std::uint64_t file_size;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"sections end at the end of the file", image(three), 0x9C00, true},
        {"data after the last section (a signature)", image(three), 0xA000, true},
        {"cut to a third, headers intact", image(three), 0x9C00 / 3, false},
        {"last section one byte short", image(three), 0x9BFF, false},
        {"a section without data may lie anywhere", image({{0x400, 0x200}, {0xFFFFFFFF, 0}}), 0x600,
         true},
        {"offset and size that wrap around 32 bits", image({{0xFFFFFF00, 0x200}}), 0x600, false},
        {"no section at all", image({}), 0x400, false},
        {"section table past the bytes read", image(three, kTable + 100), 0x9C00, false},
        {"section table ending exactly at the bytes read", image(three, kTable + 120), 0x9C00,
         true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_x64_image(c.head, c.file_size, ImageKind::Program), c.valid) << c.name;
        EXPECT_FALSE(is_x64_image(c.head, c.file_size, ImageKind::Library)) << c.name;
    }
}

TEST(SteamRules, PowerShellLiteralsCannotBeEndedByTheText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "'plain'"},
        {"", "''"},
        {"it's", "'it''s'"},
        {"''", "''''''"},
        {"a'; Remove-Item C:\\ -Recurse; '", "'a''; Remove-Item C:\\ -Recurse; '''"},
        // The typographic single quotes end a literal too.
        {"x\xE2\x80\x98y\xE2\x80\x99z\xE2\x80\x9A\xE2\x80\x9B",
         "'x\xE2\x80\x98\xE2\x80\x98y\xE2\x80\x99\xE2\x80\x99z"
         "\xE2\x80\x9A\xE2\x80\x9A\xE2\x80\x9B\xE2\x80\x9B'"},
        // Double quotes and the other characters near them are left alone.
        {"\"$x\" \xE2\x80\x9C \xE2\x80\x9D \xE2\x80\x97",
         "'\"$x\" \xE2\x80\x9C \xE2\x80\x9D \xE2\x80\x97'"},
    };
    for (const auto& [text, literal] : cases) EXPECT_EQ(powershell_quote(text), literal) << text;

    EXPECT_EQ(powershell_download_script("http://h/it's.png", "C:\\g\\o'k\\1p.png"),
              "Invoke-WebRequest -UseBasicParsing -Uri 'http://h/it''s.png' -OutFile "
              "'C:\\g\\o''k\\1p.png'");
}

TEST(SteamRules, ContentSignatures) {
    using namespace std::string_literals;
    struct Case {
        std::string name;
        std::string head;
        bool image, executable;
    };
    const std::vector<Case> cases = {
        {"PNG", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, true, false},
        {"JPEG", "\xFF\xD8\xFF\xE0\0\x10JFIF"s, true, false},
        {"GIF 87a", "GIF87a\x01\0", true, false},
        {"GIF 89a", "GIF89a\x01\0", true, false},
        {"WebP", "RIFF\x24\0\0\0WEBPVP8 "s, true, false},
        {"BMP", "BM\x36\0\x0c\0", true, false},
        {"ICO", "\0\0\x01\0\x01\0\x10\x10"s, true, false},
        {"Windows executable", "MZ\x90\0\x03\0"s, false, true},
        {"an HTML page", "<!doctype html><html>", false, false},
        {"an HTML page after white space", "\r\n<html><body>", false, false},
        {"JSON", "{\"error\": 1}", false, false},
        {"empty", "", false, false},
        {"a PNG cut inside its signature", "\x89PNG\r\n", false, false},
        {"another RIFF file (a WAV)", "RIFF\x24\0\0\0WAVEfmt "s, false, false},
        {"RIFF cut before its form", "RIFF\x24\0\0\0WEB"s, false, false},
        {"a cursor file is no icon", "\0\0\x02\0\x01\0"s, false, false},
        {"lower-case mz", "mz\x90\0", false, false},
        {"M alone", "M", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(has_image_signature(c.head), c.image) << c.name;
        EXPECT_EQ(has_executable_mark(c.head), c.executable) << c.name;
    }
}

}  // namespace
}  // namespace ml
