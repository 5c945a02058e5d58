// A small curl for tests (Wine has none), copied as curl.exe into the working folder of the
// program under test. It understands the options the product passes, as curl documents them:
//   -f/--fail         an HTTP status of 400 or more is error 22, and nothing is written
//   -s/--silent       no progress output (this fake never prints progress anyway)
//   -S/--show-error   with -s, still print "curl: (N) message" on standard error
//   -L/--location     follow redirects, at most 50 (curl's default --max-redirs)
//   -o/--output FILE  write the body there as it arrives; created even for an empty body, as
//                     curl does since 7.42
// Single-letter options combine ("-fsSL"). Like curl without --max-time, it waits as long as
// a silent server keeps the connection open. Exit status as curl's: 0, 1 unsupported
// protocol, 2 bad usage, 6/7 host or connection failure, 22 HTTP error with -f, 23 the
// file cannot be written, 47 too many redirects, 56 the connection failed during the body,
// 18 the connection ended before the Content-Length it announced ("partial file"). Each
// start appends its arguments in debug form to FAKECURL_LOG.

#include <windows.h>

#include <winhttp.h>

#include <string>

#include "fake_log.hpp"
#include "http_get.hpp"
#include "platform/win32/files.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace {

bool show_errors = true;

int fail(int code, const std::string& message) {
    if (show_errors) {
        const std::string text = "curl: (" + std::to_string(code) + ") " + message + "\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                  &written, nullptr);
    }
    return code;
}

int partial_file(const ml::testing::HttpAnswer& answer) {
    return fail(18, "transfer closed with " + std::to_string(answer.announced - answer.received) +
                        " bytes remaining to read");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string logged = "curl";
    for (int i = 1; i < argc; ++i) logged += " " + ml::debug_quote(ml::narrow(argv[i]));
    ml::testing::append_log_line("FAKECURL_LOG", logged);

    bool fail_on_http_error = false, silent = false, show_error = false, follow = false;
    std::wstring url, output;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--fail") {
            fail_on_http_error = true;
        } else if (a == L"--silent") {
            silent = true;
        } else if (a == L"--show-error") {
            show_error = true;
        } else if (a == L"--location") {
            follow = true;
        } else if (a == L"--output" || a == L"-o") {
            if (++i >= argc) return fail(2, "option " + ml::narrow(a) + ": requires parameter");
            output = argv[i];
        } else if (a.size() > 1 && a[0] == L'-' && a[1] != L'-') {
            for (std::size_t k = 1; k < a.size(); ++k) {
                switch (a[k]) {
                    case L'f':
                        fail_on_http_error = true;
                        break;
                    case L's':
                        silent = true;
                        break;
                    case L'S':
                        show_error = true;
                        break;
                    case L'L':
                        follow = true;
                        break;
                    default:
                        return fail(2, "option " + ml::narrow(a) + ": is unknown");
                }
            }
        } else if (a.starts_with(L"--")) {
            return fail(2, "option " + ml::narrow(a) + ": is unknown");
        } else {
            url = a;
        }
    }
    show_errors = !silent || show_error;
    if (url.empty()) return fail(2, "no URL specified");
    const auto scheme_end = url.find(L"://");
    const std::wstring scheme =
        scheme_end == std::wstring::npos ? L"http" : url.substr(0, scheme_end);
    if (scheme != L"http" && scheme != L"https") {
        return fail(1, "Protocol \"" + ml::narrow(scheme) + "\" not supported");
    }

    constexpr DWORD max_redirects = 50;
    auto answer = ml::testing::http_get(url, follow ? max_redirects : 0);
    if (answer.error == ERROR_WINHTTP_REDIRECT_FAILED) {
        return fail(47, "Maximum (" + std::to_string(max_redirects) + ") redirects followed");
    }
    if (answer.error == ERROR_WINHTTP_NAME_NOT_RESOLVED) {
        return fail(6, "Could not resolve host: " + ml::narrow(answer.host));
    }
    if (answer.error != 0) {
        return fail(7, "Failed to connect to " + ml::narrow(answer.host) + " port " +
                           std::to_string(answer.port) + ": Couldn't connect to server");
    }
    if (fail_on_http_error && answer.status >= 400) {
        return fail(22, "The requested URL returned error: " + std::to_string(answer.status));
    }
    if (output.empty()) {
        std::string body;
        if (!ml::testing::read_body(answer, body)) {
            return answer.cut_short ? partial_file(answer) : fail(56, "Recv failure");
        }
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), body.data(), static_cast<DWORD>(body.size()),
                  &written, nullptr);
        return 0;
    }
    if (!ml::testing::save_body(answer, output)) {
        if (answer.cut_short) return partial_file(answer);
        return fail(23, "Failure writing output to destination");
    }
    return 0;
}
