#include "runs/win32/artwork_deploy.hpp"

#include "platform/win32/console.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/artwork.hpp"
#include "steam/win32/fetch.hpp"

namespace ml {

void deploy_artwork(const std::string& grid_dir, std::uint32_t appid, const ArtworkSources& sources,
                    bool dry_run) {
    for (std::size_t k = 0; k < kArtworkKinds.size(); ++k) {
        if (!sources[k]) continue;
        const ArtworkKind& kind = kArtworkKinds[k];
        const std::string dest = path_join(grid_dir, artwork_file_name(kind, appid));
        out("     Deploying " + std::string(kind.label) + " -> " + debug_quote(dest) + "\n");
        if (dry_run) continue;
        // A download must be an image (a portal's page must not replace the artwork); a file
        // the user names is copied as it is.
        auto fetched = download_or_copy(*sources[k], dest, is_image_file);
        if (fetched) {
            out("       \xE2\x9C\x93 Successfully saved " + std::string(kind.label) + "\n");
            if (k == kLogoArtwork) place_logo_position(grid_dir, appid, "       ");
        } else {
            err("       [!] Failed to deploy " + std::string(kind.label) + ": " +
                fetched.error().display() + "\n");
        }
    }
}

void place_logo_position(const std::string& grid_dir, std::uint32_t appid,
                         std::string_view indent) {
    const std::string path = path_join(grid_dir, logo_position_file_name(appid));
    const auto written = create_file_atomically(path, kLogoPositionJson);
    if (!written) {
        err(logo_position_failed_line(indent, path, written.error().display()));
    } else if (!*written && is_directory(path)) {
        // Not a placement of the user's: nothing there tells Steam where the logo goes.
        err(logo_position_failed_line(indent, path, "a folder of that name is in the way"));
    }
}

}  // namespace ml
