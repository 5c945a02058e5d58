#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ml {

// The folders of the Steam installations on this machine, in discovery order and without
// duplicates: override_dir alone when it is given and exists; otherwise the registry values,
// the program folders and the home-folder layouts. Never fails; the list may be empty.
std::vector<std::string> detect_steam_roots(const std::optional<std::string>& override_dir);

// The account folders (root\userdata\<digits>) of one Steam root, in the order the file
// system lists them; empty when there is no userdata folder or it holds no account folder.
// Never fails.
std::vector<std::string> find_userdata_dirs(const std::string& root);

}  // namespace ml
