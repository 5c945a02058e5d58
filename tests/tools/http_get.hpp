#pragma once

// A plain HTTP GET through WinHTTP for the fake download tools, independent of the urlmon
// service that the product's own first download method uses.
#include <windows.h>

#include <string>

namespace ml::testing {

struct HttpAnswer {
    DWORD error = 0;   // a WinHTTP error code when no answer came (e.g. refused: 12029)
    DWORD status = 0;  // the HTTP status of the final answer
    std::string body;
    std::wstring host;  // as the address named it
    unsigned port = 0;
};

// Fetches url; redirects are followed only when follow_redirects is set. Every wait is
// bounded (10 s), so a silent server cannot hang a test.
HttpAnswer http_get(const std::wstring& url, bool follow_redirects);

}  // namespace ml::testing
