#include "steam/win32/discovery.hpp"

#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/win32/registry.hpp"
#include "steam/rules.hpp"

namespace ml {
namespace {

// The folder one registry value names; nothing when the key or value is missing. Read
// through the registry interface: `reg` prints redirected output in the OEM code page, in
// which a folder such as D:\Игры\Steam cannot even be written.
std::vector<std::string> registry_candidates(const SteamRegistrySource& source) {
    auto value = read_registry_string(source.key, source.value);
    if (!value) return {};
    return {std::move(*value)};
}

}  // namespace

std::vector<std::string> detect_steam_roots(const std::optional<std::string>& override_dir) {
    if (override_dir && path_exists(*override_dir)) return {*override_dir};

    std::vector<std::string> roots;
    for (const SteamRegistrySource& source : kSteamRegistrySources) {
        for (std::string& candidate : registry_candidates(source)) {
            if (path_exists(candidate)) append_unique_path(roots, std::move(candidate));
        }
    }
    for (std::string& candidate : program_folder_candidates(env_var)) {
        if (path_exists(candidate)) append_unique_path(roots, std::move(candidate));
    }
    // Without HOME these layouts are looked for below the current folder.
    for (std::string& candidate : home_layout_candidates(env_var("HOME"))) {
        if (path_exists(path_join(candidate, "userdata")) || path_exists(candidate)) {
            append_unique_path(roots, std::move(candidate));
        }
    }
    return roots;
}

std::vector<std::string> find_userdata_dirs(const std::string& root) {
    const std::string userdata = path_join(root, "userdata");
    std::vector<std::string> accounts;
    if (auto entries = list_directory(userdata)) {
        for (const DirectoryEntry& entry : *entries) {
            if (entry.is_directory && entry.name_is_unicode && is_account_folder_name(entry.name)) {
                accounts.push_back(path_join(userdata, entry.name));
            }
        }
    }
    // A userdata folder without account folders (a Steam nobody has signed in to yet) has no
    // account: Steam reads shortcuts only below an account folder, so files written into
    // userdata itself would never be seen.
    return accounts;
}

}  // namespace ml
