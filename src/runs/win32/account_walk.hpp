#pragma once

// The one walk over Steam accounts that every run shares: for each root and each account
// folder, load config\shortcuts.vdf, let the run change the list, write it back atomically,
// then let the run handle the account's grid folder. What differs between the runs (folders
// created or not, what a missing or damaged file means, backups, what is printed) is passed
// in as rules, so a fix to the file handling lands in every run at once.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// The paths of one account's Steam files.
struct AccountFiles {
    std::string user_dir;   // root\userdata\<account id>
    std::string config;     // user_dir\config
    std::string grid;       // config\grid
    std::string shortcuts;  // config\shortcuts.vdf
};

// The paths below one account folder.
AccountFiles account_files(const std::string& user_dir);

// What loading an account's shortcuts.vdf found.
struct LoadedShortcuts {
    enum class State {
        Missing,     // no file (its metadata cannot be read): the list is empty
        Parsed,      // read in full and parsed: `shortcuts` holds the entries
        Unreadable,  // exists but cannot be opened or read in full: `error` says why
        Unparsable,  // read but not a shortcuts file: `error` is the parser's
    };
    State state = State::Missing;
    std::vector<SteamShortcut> shortcuts;
    Error error;
    std::string bytes;  // the file as read (Parsed, Unparsable)
};

// Real shortcuts.vdf files are a few MB (6,242 entries make 2.6 MB). A larger file is not
// read at all: a damaged or sparse file of many GB must not exhaust memory.
inline constexpr std::uint64_t kMaxShortcutsFileBytes = 256ull << 20;

// Reads and parses one shortcuts.vdf. Never fails: every outcome is a state. A file larger
// than kMaxShortcutsFileBytes is Unreadable.
LoadedShortcuts load_shortcuts(const std::string& path);

// How a run treats an account whose folders or files are not as hoped.
enum class FolderRule {
    Leave,                 // create nothing (the uninstaller, any dry run)
    CreateIgnoringErrors,  // create config and grid; a failure is not reported
    CreateOrFail,          // create config and grid; a failure ends the walk with its error
};
enum class MissingFileRule {
    StartEmpty,   // the run adds to an empty list and creates the file
    SkipAccount,  // nothing to do for this account
};
enum class DamagedFileRule {
    SkipAccount,  // the file is left untouched and the account skipped (on_left_untouched)
    Fail,         // the walk ends with the load error
    // Only for a file that cannot be parsed: its bytes are kept as shortcuts.vdf.corrupt.bak
    // (atomically, also in a dry run, since it is the only copy of what the user had) and
    // the run starts from an empty list. A backup that cannot be made ends the walk with
    // its error and leaves the file as it is.
    BackupAndStartEmpty,
};

// The rules and hooks of one run's walk. Hooks left empty do nothing.
struct AccountWalkRules {
    bool dry_run = false;  // read and plan only: nothing written, no folder created
    FolderRule folders = FolderRule::Leave;
    MissingFileRule missing = MissingFileRule::StartEmpty;
    DamagedFileRule unreadable = DamagedFileRule::SkipAccount;
    DamagedFileRule unparsable = DamagedFileRule::SkipAccount;
    // Copy the previous file to shortcuts.vdf.bak before writing (a failed copy is ignored).
    // Taken only the first time a file is met in the walk: one Steam installation is often
    // listed twice among the roots, and the second pass must not overwrite the user's
    // original with the first pass's result.
    bool backup_before_write = false;
    // A failed write of shortcuts.vdf ends the walk with its error (otherwise it is ignored
    // and the account's after hook still runs).
    bool fail_on_write_error = false;

    // Before a root's accounts; and instead of them when the root has none.
    std::function<void(const std::string& root)> on_root;
    std::function<void(const std::string& root)> on_root_without_accounts;
    // First thing for an account, before any folder is created.
    std::function<void(const AccountFiles&)> on_account;
    // An account skipped under DamagedFileRule::SkipAccount, with what its load found
    // (Unreadable or Unparsable): the run tells the user that this account was not changed.
    std::function<void(const AccountFiles&, const LoadedShortcuts&)> on_left_untouched;
    // After a load that goes on to the edit: Missing (StartEmpty), Parsed, or Unparsable
    // with the backup made (BackupAndStartEmpty).
    std::function<void(const AccountFiles&, const LoadedShortcuts&)> on_loaded;
    // The run's change to the account's list.
    std::function<void(const AccountFiles&, std::vector<SteamShortcut>&)> edit;
    // After the list was written (or, in a dry run, would have been) with its entry count.
    std::function<void(const AccountFiles&, std::size_t count)> on_saved;
    // Last for an account that was not skipped: artwork deployment or removal.
    std::function<void(const AccountFiles&)> after;
};

// Walks every account of every root in order (find_userdata_dirs per root) under the rules.
// Returns the first error a rule makes fatal; accounts already done keep their changes.
Result<void> walk_steam_accounts(const std::vector<std::string>& roots,
                                 const AccountWalkRules& rules);

}  // namespace ml
