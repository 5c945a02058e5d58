#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/error.hpp"

namespace ml {

// Judges a downloaded file while it still lies in its temporary place beside the
// destination: true lets it take the destination's place.
using ContentCheck = std::function<bool(const std::string& file)>;

// Puts the file named by source (an http:// or https:// address, or a local path) at dest,
// replacing an earlier file there, and prints one progress line naming dest. A download is
// made into a temporary file beside dest and moved into place only when its method
// succeeded in full and `accept` (when given) approves it; a local file is copied as it is.
// Errors carry the message the callers show: NotFound "Local asset not found: {source}",
// the copy's or the placement's own OS error (a download that cannot be moved into place
// ends at once: the next method would only fetch it again), or "Failed to download asset
// from {source}", of kind InvalidData when some method delivered a file that `accept`
// refused and of kind Other otherwise.
Result<void> download_or_copy(std::string_view source, const std::string& dest,
                              const ContentCheck& accept = {});

// A content check for images: the file starts with a PNG, JPEG, GIF, WebP, BMP or ICO
// signature. (For programs and libraries, is_valid_executable_for_platform serves.)
bool is_image_file(const std::string& file);

}  // namespace ml
