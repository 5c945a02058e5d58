#pragma once

#include <string>

#include "platform/error.hpp"
#include "platform/transfer_watch.hpp"

namespace ml {

// Downloads url into the file at path through the system's URL download service (urlmon).
// Fails when the service fails or when the server answered with an HTTP status other than
// 2xx: the service itself reports success for a 404 and saves the error page as the file.
// The transfer is aborted, and fails, when it passes one of the limits.
Result<void> url_download_to_file(const std::string& url, const std::string& path,
                                  const TransferLimits& limits);

}  // namespace ml
