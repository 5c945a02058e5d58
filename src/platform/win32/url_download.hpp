#pragma once

#include <string>

#include "platform/error.hpp"
#include "platform/transfer_watch.hpp"

namespace ml {

// Downloads url into the file at path through the system's URL download service (urlmon),
// asking for the server's newest copy and leaving none in the Internet cache. Fails when the
// service fails, when the server answered with an HTTP status other than 2xx (the service
// itself reports success for a 404 and saves the error page as the file), or when the file
// holds fewer bytes than the answer's Content-Length announced. Fails as soon as the
// transfer passes one of the limits, whatever the service does then: a transfer that does
// not stop is left behind on its own thread, and the file it may still write is removed by
// that thread, never used.
Result<void> url_download_to_file(const std::string& url, const std::string& path,
                                  const TransferLimits& limits);

}  // namespace ml
