#pragma once

// The decisions of the injection run that need no operating system: the stored form of the
// executable, the record it writes, which existing entry it replaces, and its fixed lines.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/options.hpp"
#include "platform/error.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// The executable as Steam stores it: unchanged when it already starts and ends with a
// double quote (a lone " counts), otherwise wrapped in double quotes.
std::string quote_executable(std::string_view exe);

// The app id the run uses: --appid when given (its 32 bits as they are), otherwise the id
// computed from the quoted executable and the name.
std::uint32_t gridloom_appid(const CliOptions& options);

// The record the run writes for one account; icon_path is the account's grid icon file.
SteamShortcut make_gridloom_shortcut(const CliOptions& options, std::uint32_t appid,
                                     std::string icon_path);

// The first entry with the same AppName (byte for byte) or the same app id; nullopt when
// none matches and the record is appended.
std::optional<std::size_t> find_matching_shortcut(std::span<const SteamShortcut> list,
                                                  std::string_view name, std::uint32_t appid);

// Whether the folder given with --steam-dir can be used: success for an existing folder; for
// a path that does not exist (NotFound) or names a file (InvalidInput), an error naming it.
// The option means this Steam folder only, so the run stops there: a mistyped folder must not
// lead to another Steam installation's files.
Result<void> check_steam_dir(std::string_view dir, bool exists, bool is_folder);

// The banner, the option summary and the app id line, as printed at the start of the run.
std::string gridloom_header(const CliOptions& options, std::uint32_t appid);

}  // namespace ml
