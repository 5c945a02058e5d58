#include "http_get.hpp"

#include <optional>

namespace ml::testing {
namespace {

// Reads the next part of the body as soon as some of it has arrived (empty at its end);
// nullopt when the connection failed. Asking for what is available first matters: Wine's
// WinHttpReadData waits until the whole buffer is filled, which would hide a slow server.
std::optional<std::string> next_chunk(HINTERNET request) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return std::nullopt;
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (available > 0 && !WinHttpReadData(request, chunk.data(), available, &got)) {
        return std::nullopt;
    }
    chunk.resize(got);
    return chunk;
}

}  // namespace

HttpAnswer http_get(const std::wstring& url, DWORD max_redirects) {
    HttpAnswer answer;
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        answer.error = GetLastError();
        return answer;
    }
    answer.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    answer.port = parts.nPort;
    const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    answer.session.reset(WinHttpOpen(L"fake-tool/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!answer.session) {
        answer.error = GetLastError();
        return answer;
    }
    constexpr int bound_ms = 300000;
    WinHttpSetTimeouts(answer.session.get(), bound_ms, bound_ms, bound_ms, bound_ms);
    answer.connection.reset(
        WinHttpConnect(answer.session.get(), answer.host.c_str(), parts.nPort, 0));
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    if (answer.connection) {
        answer.request.reset(WinHttpOpenRequest(answer.connection.get(), L"GET", path.c_str(),
                                                nullptr, WINHTTP_NO_REFERER,
                                                WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    }
    if (!answer.request) {
        answer.error = GetLastError();
        return answer;
    }
    HINTERNET request = answer.request.get();
    DWORD policy = max_redirects > 0 ? WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS
                                     : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    if (max_redirects > 0) {
        WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &max_redirects,
                         sizeof max_redirects);
    }
    DWORD response_timeout = bound_ms;
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                     sizeof response_timeout);
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        answer.error = GetLastError();
        return answer;
    }
    DWORD size = sizeof(answer.status);
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &answer.status, &size,
                        WINHTTP_NO_HEADER_INDEX);
    size = sizeof(answer.announced);
    answer.has_announced =
        WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &answer.announced, &size,
                            WINHTTP_NO_HEADER_INDEX) != FALSE;
    return answer;
}

namespace {

// The next part of the body, counted; nullopt when the connection failed, and an empty
// chunk that comes before the announced length counts as a failure too.
std::optional<std::string> counted_chunk(HttpAnswer& answer) {
    auto chunk = next_chunk(answer.request.get());
    if (chunk) answer.received += chunk->size();
    const bool early = answer.has_announced && answer.received < answer.announced;
    if ((!chunk || chunk->empty()) && early) {
        answer.cut_short = true;
        return std::nullopt;
    }
    return chunk;
}

}  // namespace

bool read_body(HttpAnswer& answer, std::string& body) {
    for (;;) {
        auto chunk = counted_chunk(answer);
        if (!chunk) return false;
        if (chunk->empty()) return true;
        body += *chunk;
    }
}

bool save_body(HttpAnswer& answer, const std::wstring& path) {
    UniqueFile file;
    auto open = [&] {
        if (!file) {
            file.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        return file.valid();
    };
    for (;;) {
        auto chunk = counted_chunk(answer);
        if (!chunk) return false;
        if (chunk->empty()) return open();
        DWORD written = 0;
        if (!open() || !WriteFile(file.get(), chunk->data(), static_cast<DWORD>(chunk->size()),
                                  &written, nullptr)) {
            return false;
        }
    }
}

}  // namespace ml::testing
