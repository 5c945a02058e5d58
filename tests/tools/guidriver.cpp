// guidriver: looks at and drives the windows of other processes, for GUI tests.
//
//   guidriver list                        every top-level window, one JSON object a line
//   guidriver children HWND               the child controls of a window, one JSON a line
//   guidriver wait --class C [--title T] [--timeout MS] [--gone]
//                                         waits until such a visible top-level window
//                                         exists (prints its HWND) or, with --gone, until
//                                         none does; exit 1 on timeout
//
// HWNDs are printed and taken as decimal numbers.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/console.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"

namespace {

std::string json_quote(std::wstring_view text) {
    const std::string utf8 = ml::narrow(text);
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(ch);
        }
    }
    return out + "\"";
}

std::wstring window_text(HWND hwnd) {
    // WM_GETTEXT works across processes (GetWindowTextW does not for controls).
    const LRESULT len = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::wstring class_name(HWND hwnd) {
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

std::string rect_json(HWND hwnd, bool client_relative) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    if (client_relative) {
        HWND parent = GetParent(hwnd);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    return "\"x\":" + std::to_string(r.left) + ",\"y\":" + std::to_string(r.top) +
           ",\"width\":" + std::to_string(r.right - r.left) +
           ",\"height\":" + std::to_string(r.bottom - r.top);
}

std::string hwnd_str(HWND hwnd) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(hwnd));
}

HWND parse_hwnd(const std::wstring& text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(text)));
}

std::string describe_top(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return "{\"hwnd\":" + hwnd_str(hwnd) + ",\"pid\":" + std::to_string(pid) +
           ",\"class\":" + json_quote(class_name(hwnd)) + ",\"title\":" + json_quote(window_text(hwnd)) +
           ",\"visible\":" + (IsWindowVisible(hwnd) ? "true" : "false") +
           ",\"style\":" + std::to_string(static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE))) +
           "," + rect_json(hwnd, false) + "}";
}

std::string describe_child(HWND hwnd) {
    const std::wstring cls = class_name(hwnd);
    std::string extra;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        extra = ",\"check\":" + std::to_string(SendMessageW(hwnd, BM_GETCHECK, 0, 0));
    } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        extra = ",\"pos\":" + std::to_string(SendMessageW(hwnd, PBM_GETPOS, 0, 0));
    }
    return "{\"hwnd\":" + hwnd_str(hwnd) + ",\"class\":" + json_quote(cls) +
           ",\"text\":" + json_quote(window_text(hwnd)) +
           ",\"id\":" + std::to_string(GetDlgCtrlID(hwnd)) +
           ",\"style\":" + std::to_string(static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE))) +
           ",\"visible\":" + (IsWindowVisible(hwnd) ? "true" : "false") +
           ",\"enabled\":" + (IsWindowEnabled(hwnd) ? "true" : "false") + "," +
           rect_json(hwnd, true) + extra + "}";
}

std::vector<HWND> top_windows() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND find_visible(const std::wstring& cls, const std::wstring* title) {
    for (HWND hwnd : top_windows()) {
        if (!IsWindowVisible(hwnd)) continue;
        if (!cls.empty() && class_name(hwnd) != cls) continue;
        if (title && window_text(hwnd) != *title) continue;
        return hwnd;
    }
    return nullptr;
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    if (argc < 2) {
        ml::err("usage: guidriver list | children HWND | wait --class C [--title T] [--timeout MS] [--gone]\n");
        return 2;
    }
    const std::wstring command = argv[1];
    if (command == L"list") {
        std::string out;
        for (HWND hwnd : top_windows()) out += describe_top(hwnd) + "\n";
        ml::out(out);
        return 0;
    }
    if (command == L"children" && argc >= 3) {
        std::string out;
        HWND parent = parse_hwnd(argv[2]);
        for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            out += describe_child(child) + "\n";
        }
        ml::out(out);
        return 0;
    }
    if (command == L"wait") {
        std::wstring cls, title;
        bool has_title = false, gone = false;
        DWORD timeout = 10000;
        for (int i = 2; i < argc; ++i) {
            const std::wstring a = argv[i];
            if (a == L"--class" && i + 1 < argc) cls = argv[++i];
            else if (a == L"--title" && i + 1 < argc) { title = argv[++i]; has_title = true; }
            else if (a == L"--timeout" && i + 1 < argc) timeout = static_cast<DWORD>(std::stoul(argv[++i]));
            else if (a == L"--gone") gone = true;
        }
        const ULONGLONG deadline = GetTickCount64() + timeout;
        for (;;) {
            HWND hwnd = find_visible(cls, has_title ? &title : nullptr);
            if (!gone && hwnd) {
                ml::out(hwnd_str(hwnd) + "\n");
                return 0;
            }
            if (gone && !hwnd) return 0;
            if (GetTickCount64() >= deadline) return 1;
            Sleep(50);
        }
    }
    ml::err("guidriver: unknown command\n");
    return 2;
}
