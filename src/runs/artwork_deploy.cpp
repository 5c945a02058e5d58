#include "runs/artwork_deploy.hpp"

#include "platform/console.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/artwork.hpp"
#include "steam/fetch.hpp"

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
        } else {
            err("       [!] Failed to deploy " + std::string(kind.label) + ": " +
                fetched.error().display() + "\n");
        }
    }
}

}  // namespace ml
