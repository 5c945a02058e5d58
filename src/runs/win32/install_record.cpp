#include "runs/win32/install_record.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/known_folder.hpp"
#include "platform/path.hpp"
#include "platform/win32/registry.hpp"
#include "runs/win32/account_walk.hpp"
#include "runs/install_plan.hpp"
#include "runs/registration_plan.hpp"
#include "runs/steam_library_plan.hpp"
#include "runs/uninstall_plan.hpp"

namespace ml {
namespace {

// The Marrowlane.lnk files in the folders the shortcut stage writes to, as they are now.
void add_shortcuts_on_disk(InstallRecord& record) {
    const std::optional<std::string> places[] = {
        start_menu_shortcut_file(known_folder_path(KnownFolder::Programs), env_var("APPDATA")),
        desktop_shortcut_file(known_folder_path(KnownFolder::Desktop), env_var("USERPROFILE")),
    };
    for (const auto& path : places) {
        if (path && is_regular_file(*path)) record.shortcuts.push_back(*path);
    }
}

// The accounts whose shortcuts.vdf holds this installation's entry now. Only reads: nothing
// is written, and an account whose file cannot be read is passed over.
void add_steam_entries(InstallRecord& record, const InstallContext& context) {
    const std::uint32_t appid = steam_library_appid(context);
    AccountWalkRules rules;
    rules.dry_run = true;
    rules.folders = FolderRule::Leave;
    rules.missing = MissingFileRule::SkipAccount;
    rules.unreadable = DamagedFileRule::SkipAccount;
    rules.unparsable = DamagedFileRule::SkipAccount;
    rules.edit = [&](const AccountFiles& files, std::vector<SteamShortcut>& list) {
        const auto ours = [appid](const SteamShortcut& s) { return s.appid == appid; };
        if (std::any_of(list.begin(), list.end(), ours))
            record.steam.push_back({files.user_dir, appid});
    };
    (void)walk_steam_accounts(context.steam_roots, rules);
}

// The earlier record without what has gone meanwhile (a folder the user deleted, a shortcut
// removed by hand, artwork replaced by a reinstall), so that the record does not grow with
// every installation.
InstallRecord still_there(const InstallRecord& earlier) {
    InstallRecord kept;
    for (const std::string& folder : earlier.folders) {
        if (is_directory(folder)) kept.folders.push_back(folder);
    }
    for (const std::string& shortcut : earlier.shortcuts) {
        if (is_regular_file(shortcut)) kept.shortcuts.push_back(shortcut);
    }
    for (const RecordedSteamEntry& entry : earlier.steam) {
        const std::string grid = account_files(entry.account).grid;
        const std::uint32_t id[] = {entry.appid};
        const auto exists = [&](const std::string& name) {
            return path_exists(path_join(grid, name));
        };
        const std::vector<std::string> names = artwork_files_for(id);
        if (std::any_of(names.begin(), names.end(), exists)) kept.steam.push_back(entry);
    }
    return kept;
}

}  // namespace

InstallRecord read_install_record() {
    const auto text =
        read_registry_string("HKCU\\" + std::string(kUninstallSubkey), kInstallRecordValue);
    return text ? parse_install_record(*text) : InstallRecord{};
}

void write_install_record(const InstallContext& context) {
    InstallRecord now;
    now.folders.push_back(context.install_path);
    add_shortcuts_on_disk(now);
    add_steam_entries(now, context);
    const InstallRecord record = merge_install_records(now, still_there(read_install_record()));
    if (auto key = create_registry_key(HKEY_CURRENT_USER, kUninstallSubkey))
        (void)set_registry_string(key->get(), kInstallRecordValue, install_record_text(record));
}

}  // namespace ml
