// A small PowerShell for tests (Wine's prints nothing and exits 0 whatever it is given),
// copied as powershell.exe into the working folder of the program under test.
//
// Options: -NoProfile, -NonInteractive, -NoLogo, -WindowStyle STYLE, -ExecutionPolicy P,
// -Command followed by the script (the remaining arguments joined by spaces).
// The script is read by PowerShell's own rules for what it may hold here: statements split
// at ';' and line breaks; words; parameters (-Name); single-quoted literals, which any of
// ' U+2018 U+2019 U+201A U+201B opens and ends and in which a doubled quote character stands
// for itself. One command runs: Invoke-WebRequest [-UseBasicParsing] -Uri U -OutFile F,
// which saves the body as it arrives (an empty one too), follows up to 5 redirects
// (Invoke-WebRequest's -MaximumRedirection) and fails for an HTTP status of 400 or more, no
// connection, or a body cut short of its Content-Length; like PowerShell it waits as long as
// a silent server keeps the connection. Any other command is "not recognized". Exit status
// as powershell -Command gives it: 0 when the last statement succeeded, 1 when it failed.
//
// Each start appends to FAKEPS_LOG its arguments ("arg DEBUG-FORM") and each statement as
// parsed ("statement WORD|DEBUG-FORM ..."), so that a test sees exactly what PowerShell
// would have run. With FAKEPS_HELPER set, that program is started first and left running,
// as PowerShell leaves helper processes of its own (a test sees whether they are ended).
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "fake_log.hpp"
#include "http_get.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace {

struct Token {
    std::string text;
    bool literal;  // from a quoted string, never a parameter name
};
using Statement = std::vector<Token>;

void log(const std::string& line) {
    ml::testing::append_log_line("FAKEPS_LOG", line);
}

void error_line(const std::string& text) {
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

// The length of the single-quote character at s[i], or 0.
std::size_t quote_at(const std::string& s, std::size_t i) {
    if (s[i] == '\'') return 1;
    if (i + 2 < s.size() && s.compare(i, 2, "\xE2\x80") == 0 &&
        static_cast<unsigned char>(s[i + 2]) >= 0x98 &&
        static_cast<unsigned char>(s[i + 2]) <= 0x9B) {
        return 3;
    }
    return 0;
}

// The statements of a script, or nullopt with a parser error printed.
std::optional<std::vector<Statement>> parse(const std::string& s) {
    std::vector<Statement> statements(1);
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == ';' || c == '\n') {
            if (!statements.back().empty()) statements.emplace_back();
            ++i;
        } else if (const std::size_t q = quote_at(s, i)) {
            std::string text;
            i += q;
            for (;;) {
                if (i >= s.size()) {
                    error_line("The string is missing the terminator: '.");
                    return std::nullopt;
                }
                const std::size_t end = quote_at(s, i);
                if (end == 0) {
                    text.push_back(s[i++]);
                    continue;
                }
                const std::size_t next = i + end < s.size() ? quote_at(s, i + end) : 0;
                if (next == 0) {
                    i += end;
                    break;
                }
                text.append(s, i + end, next);  // a doubled quote stands for itself
                i += end + next;
            }
            statements.back().push_back({text, true});
        } else if (c == '"' || c == '$' || c == '(' || c == '{' || c == '|' || c == '&') {
            error_line(std::string("fake powershell: '") + c + "' is beyond what this fake reads");
            return std::nullopt;
        } else {
            std::string word;
            while (i < s.size() &&
                   std::string_view(" \t\r\n;").find(s[i]) == std::string_view::npos &&
                   quote_at(s, i) == 0) {
                word.push_back(s[i++]);
            }
            statements.back().push_back({word, false});
        }
    }
    if (statements.back().empty()) statements.pop_back();
    return statements;
}

bool invoke_web_request(const Statement& st) {
    std::optional<std::string> uri, out_file;
    for (std::size_t k = 1; k < st.size(); ++k) {
        const std::string name = st[k].literal ? "" : ml::ascii_lower(st[k].text);
        if (name == "-usebasicparsing") continue;
        if ((name == "-uri" || name == "-outfile") && k + 1 < st.size()) {
            (name == "-uri" ? uri : out_file) = st[++k].text;
            continue;
        }
        error_line("Invoke-WebRequest : A parameter cannot be found that matches parameter name '" +
                   st[k].text + "'.");
        return false;
    }
    if (!uri) {
        error_line("Invoke-WebRequest : Cannot validate argument on parameter 'Uri'.");
        return false;
    }
    auto answer = ml::testing::http_get(ml::widen(*uri), 5);
    if (answer.error == ERROR_WINHTTP_REDIRECT_FAILED) {
        error_line("Invoke-WebRequest : The maximum redirection count has been exceeded.");
        return false;
    }
    if (answer.error != 0) {
        error_line("Invoke-WebRequest : Unable to connect to the remote server");
        return false;
    }
    if (answer.status >= 400) {
        error_line("Invoke-WebRequest : The remote server returned an error: (" +
                   std::to_string(answer.status) + ").");
        return false;
    }
    std::string ignored;
    if (out_file ? !ml::testing::save_body(answer, ml::widen(*out_file))
                 : !ml::testing::read_body(answer, ignored)) {
        // A body cut short of its Content-Length fails the cmdlet, as .NET's response stream
        // reports the closed connection.
        error_line(answer.cut_short
                       ? "Invoke-WebRequest : The response ended prematurely."
                       : "Invoke-WebRequest : The transfer or the write of the file failed.");
        return false;
    }
    return true;
}

// Starts FAKEPS_HELPER's program, if set, without waiting for it.
void start_helper() {
    auto helper = ml::env_var_wide("FAKEPS_HELPER");
    if (!helper || helper->empty()) return;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, helper->data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(ml::narrow(argv[i]));
        log("arg " + ml::debug_quote(args.back()));
    }
    std::optional<std::string> script;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string option = ml::ascii_lower(args[i]);
        if (option == "-noprofile" || option == "-noninteractive" || option == "-nologo") continue;
        if ((option == "-windowstyle" || option == "-executionpolicy") && i + 1 < args.size()) {
            ++i;
            continue;
        }
        if (option == "-command") {
            script.emplace();
            for (std::size_t k = i + 1; k < args.size(); ++k) {
                if (k > i + 1) script->push_back(' ');
                script->append(args[k]);
            }
            break;
        }
        error_line("fake powershell: unsupported option " + args[i]);
        return 64;
    }
    if (!script) return 0;
    start_helper();

    const auto statements = parse(*script);
    if (!statements) return 1;
    bool ok = true;
    for (const Statement& st : *statements) {
        std::string line = "statement";
        for (const Token& t : st) line += " " + (t.literal ? ml::debug_quote(t.text) : t.text);
        log(line);
        if (!st[0].literal && ml::ascii_lower(st[0].text) == "invoke-webrequest") {
            ok = invoke_web_request(st);
        } else {
            error_line(st[0].text + " : The term '" + st[0].text +
                       "' is not recognized as the name of a cmdlet, function, script file, or "
                       "operable program.");
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
