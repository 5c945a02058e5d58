#include "runs/win32/account_walk.hpp"

#include <set>
#include <utility>

#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "steam/win32/discovery.hpp"

namespace ml {
namespace {

template <class Hook, class... Args>
void call(const Hook& hook, Args&&... args) {
    if (hook) hook(std::forward<Args>(args)...);
}

// The shortcut files one walk has met, by identity rather than by path: the same Steam
// folder often appears twice among the roots under two spellings ("c:/program files
// (x86)/steam" from the registry, "C:\Program Files (x86)\Steam" from the environment).
class SeenFiles {
  public:
    // True the first time this file is met (also when its identity cannot be read, so that
    // a backup is rather taken twice than never).
    bool first_meeting(const std::string& path) {
        const auto id = file_identity(path);
        return !id || seen_.insert(*id).second;
    }
    // Notes a file the walk itself wrote: meeting it again is not a first meeting.
    void remember(const std::string& path) {
        if (const auto id = file_identity(path)) seen_.insert(*id);
    }

  private:
    std::set<FileIdentity> seen_;
};

Result<void> create_account_folders(const AccountFiles& files, const AccountWalkRules& rules) {
    if (rules.dry_run || rules.folders == FolderRule::Leave) return {};
    for (const std::string* folder : {&files.config, &files.grid}) {
        auto made = create_directories(*folder);
        if (!made && rules.folders == FolderRule::CreateOrFail) return made;
    }
    return {};
}

// One account: an error ends the walk, a skipped account returns success early.
Result<void> visit_account(const std::string& user_dir, const AccountWalkRules& rules,
                           SeenFiles& seen) {
    const AccountFiles files = account_files(user_dir);
    call(rules.on_account, files);
    if (auto made = create_account_folders(files, rules); !made) return made;

    LoadedShortcuts loaded = load_shortcuts(files.shortcuts);
    using State = LoadedShortcuts::State;
    const bool first_meeting =
        loaded.state != State::Missing && seen.first_meeting(files.shortcuts);
    switch (loaded.state) {
        case State::Missing:
            if (rules.missing == MissingFileRule::SkipAccount) return {};
            break;
        case State::Parsed:
            break;
        case State::Unreadable:
            if (rules.unreadable == DamagedFileRule::Fail) return std::unexpected(loaded.error);
            call(rules.on_left_untouched, files, loaded);
            return {};
        case State::Unparsable:
            if (rules.unparsable == DamagedFileRule::SkipAccount) {
                call(rules.on_left_untouched, files, loaded);
                return {};
            }
            if (rules.unparsable == DamagedFileRule::Fail) return std::unexpected(loaded.error);
            // The only copy of what the user had: without it the file must not be replaced.
            if (first_meeting) {
                auto kept = replace_file_atomically(
                    path_join(files.config, "shortcuts.vdf.corrupt.bak"), loaded.bytes);
                if (!kept) return kept;
            }
            break;
    }
    call(rules.on_loaded, files, loaded);

    std::vector<SteamShortcut> list;
    if (loaded.state == State::Parsed) list = std::move(loaded.shortcuts);
    call(rules.edit, files, list);

    if (rules.dry_run) {
        call(rules.on_saved, files, list.size());
    } else {
        if (rules.backup_before_write && first_meeting) {
            (void)replace_file_atomically(path_join(files.config, "shortcuts.vdf.bak"),
                                          loaded.bytes);
        }
        // Written beside and moved into place, so a failed write never leaves the user with
        // a truncated or empty shortcuts.vdf.
        auto written = replace_file_atomically(files.shortcuts, serialize_shortcuts_vdf(list));
        if (written) {
            seen.remember(files.shortcuts);
            call(rules.on_saved, files, list.size());
        } else if (rules.fail_on_write_error) {
            return written;
        }
    }
    call(rules.after, files);
    return {};
}

}  // namespace

AccountFiles account_files(const std::string& user_dir) {
    AccountFiles files;
    files.user_dir = user_dir;
    files.config = path_join(user_dir, "config");
    files.grid = path_join(files.config, "grid");
    files.shortcuts = path_join(files.config, "shortcuts.vdf");
    return files;
}

LoadedShortcuts load_shortcuts(const std::string& path) {
    using State = LoadedShortcuts::State;
    LoadedShortcuts loaded;
    if (!path_exists(path)) return loaded;
    auto bytes = read_file(path, kMaxShortcutsFileBytes);
    if (!bytes) {
        loaded.state = State::Unreadable;
        loaded.error = std::move(bytes.error());
        return loaded;
    }
    loaded.bytes = std::move(*bytes);
    auto parsed = parse_shortcuts_vdf(loaded.bytes);
    if (!parsed) {
        loaded.state = State::Unparsable;
        loaded.error = std::move(parsed.error());
        return loaded;
    }
    loaded.state = State::Parsed;
    loaded.shortcuts = std::move(*parsed);
    return loaded;
}

Result<void> walk_steam_accounts(const std::vector<std::string>& roots,
                                 const AccountWalkRules& rules) {
    SeenFiles seen;
    for (const std::string& root : roots) {
        call(rules.on_root, root);
        const std::vector<std::string> users = find_userdata_dirs(root);
        if (users.empty()) {
            call(rules.on_root_without_accounts, root);
            continue;
        }
        for (const std::string& user : users) {
            if (auto done = visit_account(user, rules, seen); !done) return done;
        }
    }
    return {};
}

}  // namespace ml
