#pragma once

// Removing a folder with everything in it, without ever reaching outside it: a link inside
// (a directory symbolic link, a junction, a file symbolic link) is removed as a link or left
// where it is, never followed. What cannot go now (a running program's image, a file another
// program holds open) is reported, so that a later attempt can take exactly those entries.
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/folder_leftovers.hpp"

namespace ml {

// Empties `folder` depth first and removes it, taking the names in `first` (in that order,
// any letter case) before the rest of its top level. Nothing below a link is entered; a link
// is removed only when the system opens the link itself rather than its target. When
// `folder` is itself a link, only the link is removed (or kept), never what it points at.
// A missing folder leaves nothing.
FolderLeftovers remove_folder_tree(const std::string& folder,
                                   std::span<const std::string_view> first = {});

// The folder's path as the system names it, in its \\?\ form: its parent's links, short
// names and letter case resolved, its own name as given. nullopt when the parent cannot be
// opened.
std::optional<std::string> resolved_folder_path(const std::string& folder);

// One more attempt at what an earlier remove_folder_tree left in `folder` (a path as
// resolved_folder_path gives it): each file, then each folder (deepest first, only when
// empty), then the folder itself. The folder and every entry are checked to be exactly
// where they were, through their own handle, before they are deleted through it: a link put
// in place of the folder, or of a folder inside it, since the first attempt is never
// followed. Returns what is worth another attempt (in use, or not yet empty): nothing once
// the folder is gone or is no longer itself; an entry found behind a link is counted in
// `kept` and left alone for good.
FolderLeftovers remove_leftovers(const std::string& folder, const FolderLeftovers& left);

}  // namespace ml
