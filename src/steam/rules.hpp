#pragma once

// The text rules of Steam discovery, process control and asset fetch, apart from the system
// calls that feed them, so that they are tested on any host.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ml {

// --- discovery --------------------------------------------------------------------------

// A registry place where Steam records its folder, read with `reg query KEY /v VALUE`.
struct SteamRegistrySource {
    std::string_view key;
    std::string_view value;
};

// The three places, in the order they are consulted (per-user value first).
extern const SteamRegistrySource kSteamRegistrySources[3];

// The REG_SZ texts of `reg query` output for value_name: each line that holds value_name
// (exact case) and "REG_SZ" gives the text after the first "REG_SZ", trimmed of Unicode
// white space. The output is decoded as UTF-8 with U+FFFD for invalid bytes.
std::vector<std::string> reg_sz_values(std::string_view output, std::string_view value_name);

// True when two path texts name the same path by their components: '/' and '\' both
// separate, repeated and trailing separators do not count, the drive letter compares without
// case, every other component exactly (so c:/steam and C:\Steam are different).
bool same_path(std::string_view a, std::string_view b);

// Appends candidate unless the list already holds the same path; true when appended.
bool append_unique_path(std::vector<std::string>& list, std::string candidate);

// Looks up an environment variable: nullopt when unset or not valid Unicode.
using EnvLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The Steam folder inside a program folder: the text itself when its lower-case form ends
// with "steam", else the text with the component "Steam" appended.
std::string steam_folder_in(std::string_view folder);

// Where Steam is installed by default: ProgramFiles(x86), ProgramFiles, %SystemDrive%\Steam,
// C:\Steam, D:\Steam, each through steam_folder_in; unset variables give nothing.
std::vector<std::string> program_folder_candidates(const EnvLookup& env);

// The Linux layouts of Steam below HOME (or "." when HOME is unset), for Steam run through
// a compatibility layer: .local/share/Steam, .steam/steam, .steam/root, the Flatpak folder.
std::vector<std::string> home_layout_candidates(const std::optional<std::string>& home);

// True for a userdata entry name that is a Steam account id: ASCII digits only, not "0"
// (the folder Steam keeps for no signed-in account).
bool is_account_folder_name(std::string_view name);

// --- process control --------------------------------------------------------------------

// One process as the system lists it. `session` is nullopt when its session could not be
// read.
struct ProcessEntry {
    std::string image;  // the image's file name, as listed
    std::uint32_t pid = 0;
    std::optional<std::uint32_t> session;
    // Listed by the process snapshot but left out of the session list, which shows a standard
    // user every process of their own (in any session) and none of another Windows user's.
    bool other_user = false;
    // The program's full path, where it was read (only for a Steam of another session or
    // user, which a standard user's process is mostly not allowed to open).
    std::optional<std::string> path{};
};

// The ids of the Steam clients among `processes` that run in `session`: image name steam.exe
// in any letter case. Another signed-in user's Steam is in another session (or is another
// user's) and not ours to close. A process whose session could not be read counts as ours:
// it may be the user's own Steam started as administrator, and writing its files while it
// runs would lose the change when it exits, whereas a Steam wrongly counted as ours only
// costs a question and a skipped Steam step.
std::vector<std::uint32_t> steam_process_ids(std::span<const ProcessEntry> processes,
                                             std::uint32_t session);

// True for a Steam client that is not ours to close: another session's, or another user's.
bool is_elsewhere_steam(const ProcessEntry& process, std::uint32_t session);

// True when a Steam root and the folder a Steam client runs from are the same folder.
using SameFolder = std::function<bool(const std::string& root, const std::string& folder)>;

// The Steam roots split by whether a Steam of another session or user may be running from
// them; each list in the order given.
struct SteamRootsHeld {
    std::vector<std::string> held;     // empty when no such Steam runs from any root
    std::vector<std::string> free;     // the others
    std::vector<std::string> folders;  // where the Steams that hold roots run from
    bool unplaced = false;             // a Steam whose folder could not be read holds them all
};

// Which of `roots` a Steam of another session or user (is_elsewhere_steam) holds. The Steam
// folder, and with it every account's files, is shared by all Windows users of the machine,
// and such a Steam writes its account's shortcut list back when it exits, over whatever we
// changed. It holds the root it runs from (its path's folder, compared by `same_folder`);
// one whose path could not be read may run from any of them, so it holds every root.
SteamRootsHeld steam_roots_held_elsewhere(std::span<const ProcessEntry> processes,
                                          std::uint32_t session, std::span<const std::string> roots,
                                          const SameFolder& same_folder);

// The process ids of a comma-separated decimal list (a testing aid's value); empty for none
// or for text that is not such a list.
std::vector<std::uint32_t> test_process_ids(std::optional<std::string_view> text);

// How long Steam is given to close by itself after the shutdown request, before it is ended:
// the client takes several seconds (its web helpers, cloud sync), and ending it midway may
// lose what it was saving.
inline constexpr std::chrono::milliseconds kSteamCloseWait = std::chrono::seconds(30);

// kSteamCloseWait, or a test's override in milliseconds (decimal digits, not zero).
std::chrono::milliseconds steam_close_wait_with(std::optional<std::string_view> override_ms);

// How Steam is started again: directly as our child; through the desktop shell, so that it
// gets the user's normal token rather than ours; or not at all.
enum class SteamStartRoute { Direct, DesktopShell, LeaveClosed };

// The desktop shell as an elevated setup finds it: none, or one whose token it cannot read;
// its own user's, with the normal or an elevated token; or another user's (an administrator
// who elevated "over the shoulder" of the signed-in user runs the setup as another account).
enum class DesktopShell { Unknown, OwnUserNormal, OwnUserElevated, AnotherUser };

// The route for a process whose token is `elevated` (`split_token`: UAC's full token of an
// administrator whose normal token the desktop holds), where `shell` is what it found of the
// desktop shell. A child runs with its parent's token: an elevated Steam would run every
// game elevated, and could not be closed by the next standard run. When the shell is
// elevated as well (UAC off, the built-in Administrator, Wine), a direct start gives Steam
// nothing the user's own start would not. Another user's shell would start Steam as that
// user, and a direct start would run it as the administrator's account: Steam stays closed
// then. Without a shell nothing can start Steam with the user's token, and asking the
// shell's automation server would start one with ours: steam_start_route_without_shell
// decides.
SteamStartRoute steam_start_route(bool elevated, bool split_token, DesktopShell shell);

// The route when no desktop shell can start Steam: with a split token (UAC's
// "Run as administrator" on an administrator's own account) the user's normal token is out
// of reach, so Steam stays closed rather than run elevated; without one (UAC off, the
// built-in Administrator) the user's own token is this one.
SteamStartRoute steam_start_route_without_shell(bool split_token);

// --- asset fetch ------------------------------------------------------------------------

// True when source is a web address: it begins with "http://" or "https://", in lower case.
bool is_web_address(std::string_view source);

// The PowerShell command that downloads source into dest, both as single-quoted literals.
std::string powershell_download_script(std::string_view source, std::string_view dest);

// The most leading bytes the two content rules below look at.
inline constexpr std::size_t kContentSignatureBytes = 12;

// True when the leading bytes of a file carry the signature of an image format Steam shows
// as artwork or Windows as an icon: PNG, JPEG, GIF, WebP, BMP or ICO. An error page that a
// portal or proxy answers with in place of the image has none of them.
bool has_image_signature(std::string_view head);

// True when the leading bytes start with "MZ", the mark of a Windows executable image.
bool has_executable_mark(std::string_view head);

// The two kinds of x64 Windows image the installation takes: a program or a library (DLL).
enum class ImageKind { Program, Library };

// How many leading bytes is_x64_image looks at: linkers put the headers, the section table
// included, within the first few hundred bytes.
inline constexpr std::size_t kImageHeaderBytes = 4096;

// True when the leading bytes hold the headers of an x64 Windows image of that kind: the
// "MZ" header, the "PE\0\0" signature where it points (within the bytes given), machine
// AMD64, the executable-image flag, the DLL flag exactly for a library, and a PE32+ optional
// header. A saved web page, an empty file and a 32-bit build all fail.
bool is_x64_image_headers(std::string_view head, ImageKind kind);

// True when head, the leading bytes of a file of file_size bytes, holds the headers of an
// x64 image of that kind (is_x64_image_headers), followed by a section table of at least
// one section within head, and every section's data lies within the file: a runner cut
// short keeps intact headers but fails here.
bool is_x64_image(std::string_view head, std::uint64_t file_size, ImageKind kind);

}  // namespace ml
