#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ml {

// The artwork sources of the injection run, one optional web address or file path per kind,
// in the order of kArtworkKinds (capsule, hero, logo, banner, icon).
using ArtworkSources = std::array<std::optional<std::string>, 5>;

// Fetches every given source into grid_dir under its kind's file name for appid, printing a
// line per kind and a failure line on standard error for a kind that could not be fetched;
// a deployed logo gets its position file (place_logo_position). In a dry run only the plan
// lines. Never fails: one kind's failure leaves the others alone.
void deploy_artwork(const std::string& grid_dir, std::uint32_t appid, const ArtworkSources& sources,
                    bool dry_run);

// Writes the logo position file beside a logo just deployed into grid_dir, unless a file of
// that name is there (the user's own placement stays); on failure one line on standard error,
// `indent` spaces in, so that the deployment goes on.
void place_logo_position(const std::string& grid_dir, std::uint32_t appid, std::string_view indent);

}  // namespace ml
