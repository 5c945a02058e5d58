#pragma once

#include <string>
#include <string_view>

#include "platform/error.hpp"

namespace ml {

// Puts the file named by source (an http:// or https:// address, or a local path) at dest,
// replacing an earlier file there, and prints one progress line. Errors carry the message
// the callers show: NotFound "Local asset not found: {source}", the copy's own OS error,
// or Other "Failed to download asset from {source}".
Result<void> download_or_copy(std::string_view source, const std::string& dest);

}  // namespace ml
