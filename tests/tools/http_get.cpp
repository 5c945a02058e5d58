#include "http_get.hpp"

#include <winhttp.h>

#include "platform/handle.hpp"

namespace ml::testing {
namespace {

struct InternetTraits {
    using type = HINTERNET;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { WinHttpCloseHandle(h); }
};
using UniqueInternet = Unique<InternetTraits>;

}  // namespace

HttpAnswer http_get(const std::wstring& url, bool follow_redirects) {
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

    UniqueInternet session(WinHttpOpen(L"fake-tool/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        answer.error = GetLastError();
        return answer;
    }
    WinHttpSetTimeouts(session.get(), 10000, 10000, 10000, 10000);
    UniqueInternet connection(WinHttpConnect(session.get(), answer.host.c_str(), parts.nPort, 0));
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    UniqueInternet request(connection ? WinHttpOpenRequest(connection.get(), L"GET", path.c_str(),
                                                           nullptr, WINHTTP_NO_REFERER,
                                                           WINHTTP_DEFAULT_ACCEPT_TYPES, secure)
                                      : nullptr);
    if (!request) {
        answer.error = GetLastError();
        return answer;
    }
    DWORD policy = follow_redirects ? WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS
                                    : WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        answer.error = GetLastError();
        return answer;
    }
    DWORD size = sizeof(answer.status);
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &answer.status, &size,
                        WINHTTP_NO_HEADER_INDEX);
    char buffer[16384];
    DWORD got = 0;
    while (WinHttpReadData(request.get(), buffer, sizeof buffer, &got) && got > 0) {
        answer.body.append(buffer, got);
    }
    return answer;
}

}  // namespace ml::testing
