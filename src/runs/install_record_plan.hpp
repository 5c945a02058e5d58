#pragma once

// What an installation made and where, kept as text in its uninstall entry, so that the
// uninstallation still finds it after the machine has changed: a Desktop that OneDrive moved
// back, a second installation into another folder (whose Steam entry then has another app
// id). Any program of the user can change that value, so a record is never trusted: every
// entry is checked again when it is read, and an entry can only ever lead to the removal of a
// name the product itself uses.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// The uninstall entry's value that holds the record (REG_SZ, the text below).
inline constexpr std::string_view kInstallRecordValue = "InstallRecord";

// One account's Steam entry: the account folder (root\userdata\<id>) and the entry's app id.
struct RecordedSteamEntry {
    std::string account;
    std::uint32_t appid = 0;

    friend bool operator==(const RecordedSteamEntry&, const RecordedSteamEntry&) = default;
};

// What the installations of this product made, the latest first.
struct InstallRecord {
    std::vector<std::string> folders;       // the installation folders
    std::vector<std::string> shortcuts;     // Marrowlane.lnk files
    std::vector<RecordedSteamEntry> steam;  // the Steam entry of each account

    friend bool operator==(const InstallRecord&, const InstallRecord&) = default;
};

// A record keeps at most this many entries of each kind (the latest): a value edited into
// something huge costs no more than this.
inline constexpr std::size_t kMaxRecordEntries = 64;

// A path a record may hold: valid UTF-8 without control characters, absolute (drive or UNC,
// not a device path such as \\?\ or \\.\), without "." or ".." components, wildcards or a
// colon past the drive, at most 32767 bytes.
bool is_recordable_path(std::string_view path);

// A recordable path whose file name is Marrowlane.lnk (any letter case).
bool is_recordable_shortcut(std::string_view path);

// True for the app id of a non-Steam shortcut (bit 31 set); Steam's own games have small ids,
// and the artwork a user chose for one of them must never be taken for ours.
bool is_shortcut_appid(std::uint32_t appid) noexcept;

// The record as text: a header line, then one line per entry, fields separated by a tab
// ("folder\t{path}", "shortcut\t{path}", "steam\t{appid}\t{account}"), line feeds between.
// Entries the parser would refuse are left out.
std::string install_record_text(const InstallRecord& record);

// The record a text holds: empty unless the text starts with the header line; every line that
// is not a valid entry is passed over, each entry is kept once (paths compared without ASCII
// letter case) and at most kMaxRecordEntries of each kind.
InstallRecord parse_install_record(std::string_view text);

// `newer` followed by the entries of `older` that it does not hold, within the limits.
InstallRecord merge_install_records(const InstallRecord& newer, const InstallRecord& older);

// True when two recorded paths name the same place: by components, ASCII letters in any case.
bool same_recorded_path(std::string_view a, std::string_view b);

// The app ids recorded for `account` whose artwork may go from its grid folder: shortcut ids
// that none of the account's remaining entries (`kept`) uses, each once.
std::vector<std::uint32_t> recorded_artwork_ids(const InstallRecord& record,
                                                std::string_view account,
                                                std::span<const SteamShortcut> kept);

// The recorded folders other than `default_folder` (nullopt: there is none), each once.
std::vector<std::string> recorded_other_folders(const InstallRecord& record,
                                                const std::optional<std::string>& default_folder);

// The files the product puts into its folder, in the order the uninstallation removes them
// from a folder it does not remove whole: the setup's own copy last.
std::vector<std::string_view> product_file_names();

// True for the product's files whose name no other program would use (they hold
// "marrowlane"): only a folder that still holds one of them is taken for the product's, so
// that a generic config.json or WebView2Loader.dll of another program is never removed.
bool is_distinctive_product_file(std::string_view name);

// True when the bytes begin as a Windows shell link (.lnk) file does: header size 0x4C and
// the shell link class id.
bool is_shell_link_header(std::string_view head);

// How many bytes is_shell_link_header looks at.
inline constexpr std::size_t kShellLinkHeaderBytes = 20;

}  // namespace ml
