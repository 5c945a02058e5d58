#pragma once

// A plain HTTP GET through WinHTTP for the fake download tools, independent of the urlmon
// service that the product's own first download method uses.
#include <windows.h>

#include <winhttp.h>

#include <cstdint>
#include <string>

#include "platform/win32/handle.hpp"

namespace ml::testing {

struct InternetTraits {
    using type = HINTERNET;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { WinHttpCloseHandle(h); }
};
using UniqueInternet = Unique<InternetTraits>;

struct HttpAnswer {
    DWORD error = 0;    // a WinHTTP error code when no answer came (e.g. refused: 12029)
    DWORD status = 0;   // the HTTP status of the final answer
    std::wstring host;  // as the address named it
    unsigned port = 0;
    UniqueInternet session, connection, request;  // the body is read from request
    DWORD announced = 0;  // the answer's Content-Length (0 when it has none)
    bool has_announced = false;
    std::uint64_t received = 0;  // body bytes read so far
    bool cut_short = false;      // the connection ended before the announced length
};

// Sends a GET for url and waits for the answer's headers. Redirects are followed only when
// max_redirects > 0, up to that many (then error ERROR_WINHTTP_REDIRECT_FAILED). Like the
// real tools, a server that sends nothing holds the caller: the bound (5 minutes) only keeps
// a broken test from hanging the suite for ever.
HttpAnswer http_get(const std::wstring& url, DWORD max_redirects);

// Reads the rest of the body into `body`; false when the connection failed on the way or
// ended before the announced Content-Length (cut_short then tells so, as real tools check).
bool read_body(HttpAnswer& answer, std::string& body);

// Writes the body into the file as it arrives, as curl and PowerShell do: the file is
// created with the first byte (at the end for an empty body). False when the connection
// failed, ended before the announced length (cut_short) or the file could not be written;
// what arrived before stays in the file.
bool save_body(HttpAnswer& answer, const std::wstring& path);

}  // namespace ml::testing
