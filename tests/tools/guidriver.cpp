// guidriver: looks at and drives the windows of other processes, for GUI tests. Windows are
// found on the desktop of the session; HWNDs are printed and taken as decimal numbers; every
// answer is one JSON object a line.
//
//   list                          every top-level window
//   find [--class C] [--title T]  the first visible top-level window that matches; exit 1
//                                 when there is none
//   wait [--class C] [--title T] [--timeout MS] [--gone]
//                                 waits until such a window is visible (prints it) or, with
//                                 --gone, until none is; exit 1 on timeout (default 10 s)
//   children HWND                 the child controls: class, text, id, style, position and
//                                 size in the parent's client area, check state of buttons,
//                                 position of progress bars, and which one has the focus
//   focus HWND                    the window that has the keyboard focus in HWND's thread
//   click HWND                    a left click in the middle of a control
//   key HWND KEY...               keys for HWND's thread, given to its focused window (HWND
//                                 itself when nothing has the focus) once its message loop
//                                 runs, each after the last has acted (a Tab has moved the
//                                 focus): enter, escape, tab, space, alt+f4
//   close HWND                    the close box in the title bar
//   watch [--timeout MS]          prints {"ready":true}, then each window that another
//                                 process creates, until standard input ends or the timeout
//   hold                          keeps Wine's desktop process alive until standard input
//                                 ends: Wine ends it a moment after its last GUI client has
//                                 gone, and a program starting just then fails with status 1
//
// Input is posted, never sent: a click whose handler opens a modal box (a message box)
// would otherwise keep the driver waiting until the box is gone. There is no window manager
// under Xvfb, so the close box is reached as the system command it sends.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"
#include "support/gui_input.hpp"

namespace {

using ml::testing::focus_of_thread;

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
    // WM_GETTEXT works across processes (GetWindowTextW does not for controls). A timeout
    // keeps a hung target from hanging the driver.
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::wstring text(len + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &got);
    text.resize(std::min<std::size_t>(got, len));
    return text;
}

LRESULT query(HWND hwnd, UINT message) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, message, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

std::wstring class_name(HWND hwnd) {
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

std::wstring process_image_name(DWORD pid) {
    ml::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.get(), 0, buf, &size)) return {};
    const std::wstring path(buf, size);
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string rect_json(HWND hwnd, bool client_relative) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    if (client_relative) MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return "\"x\":" + std::to_string(r.left) + ",\"y\":" + std::to_string(r.top) +
           ",\"width\":" + std::to_string(r.right - r.left) +
           ",\"height\":" + std::to_string(r.bottom - r.top);
}

std::string hwnd_str(HWND hwnd) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(hwnd));
}

HWND parse_hwnd(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(wcstoull(text, nullptr, 10)));
}

const char* flag(bool value) {
    return value ? "true" : "false";
}

std::string style_json(HWND hwnd) {
    return std::to_string(static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE)));
}

std::string describe_top(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return "{\"hwnd\":" + hwnd_str(hwnd) + ",\"pid\":" + std::to_string(pid) +
           ",\"exe\":" + json_quote(process_image_name(pid)) +
           ",\"class\":" + json_quote(class_name(hwnd)) +
           ",\"title\":" + json_quote(window_text(hwnd)) +
           ",\"visible\":" + flag(IsWindowVisible(hwnd)) + ",\"style\":" + style_json(hwnd) + "," +
           rect_json(hwnd, false) + "}";
}

std::string describe_child(HWND hwnd, HWND focus) {
    const std::wstring cls = class_name(hwnd);
    std::string extra;
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        extra = ",\"check\":" + std::to_string(query(hwnd, BM_GETCHECK));
    } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
        extra = ",\"pos\":" + std::to_string(query(hwnd, PBM_GETPOS));
    }
    return "{\"hwnd\":" + hwnd_str(hwnd) + ",\"class\":" + json_quote(cls) +
           ",\"text\":" + json_quote(window_text(hwnd)) +
           ",\"id\":" + std::to_string(GetDlgCtrlID(hwnd)) + ",\"style\":" + style_json(hwnd) +
           ",\"visible\":" + flag(IsWindowVisible(hwnd)) +
           ",\"enabled\":" + flag(IsWindowEnabled(hwnd)) + ",\"focused\":" + flag(hwnd == focus) +
           "," + rect_json(hwnd, true) + extra + "}";
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

struct Match {
    std::optional<std::wstring> cls;
    std::optional<std::wstring> title;
};

HWND find_visible(const Match& match) {
    for (HWND hwnd : top_windows()) {
        if (!IsWindowVisible(hwnd)) continue;
        if (match.cls && class_name(hwnd) != *match.cls) continue;
        if (match.title && window_text(hwnd) != *match.title) continue;
        return hwnd;
    }
    return nullptr;
}

// Windows created by other processes while the watch lasts. Wine delivers these events
// from the creating thread, so the window can already be gone: the process is then found
// through the thread.
void CALLBACK on_window_event(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child,
                              DWORD thread, DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF || !hwnd) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == 0) {
        ml::UniqueHandle t(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread));
        if (t) pid = GetProcessIdOfThread(t.get());
    }
    const HWND parent = GetAncestor(hwnd, GA_PARENT);
    ml::out("{\"hwnd\":" + hwnd_str(hwnd) + ",\"pid\":" + std::to_string(pid) +
            ",\"exe\":" + json_quote(pid ? process_image_name(pid) : std::wstring()) +
            ",\"class\":" + json_quote(class_name(hwnd)) +
            ",\"title\":" + json_quote(window_text(hwnd)) +
            ",\"top\":" + flag(parent == nullptr || parent == GetDesktopWindow()) + "}\n");
}

int watch(DWORD timeout) {
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, on_window_event, 0, 0,
                        WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    if (!hook) return 1;
    ml::out("{\"ready\":true}\n");
    const DWORD self = GetCurrentThreadId();
    // The test ends the watch by closing our standard input.
    std::thread([self] {
        while (ml::read_stdin_line()) {
        }
        PostThreadMessageW(self, WM_QUIT, 0, 0);
    }).detach();
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                UnhookWinEvent(hook);
                return 0;
            }
            DispatchMessageW(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)),
                                  QS_ALLINPUT);
    }
    UnhookWinEvent(hook);
    return 0;
}

int wait_for(const Match& match, DWORD timeout, bool gone) {
    const ULONGLONG deadline = GetTickCount64() + timeout;
    for (;;) {
        const HWND hwnd = find_visible(match);
        if (!gone && hwnd) {
            ml::out(describe_top(hwnd) + "\n");
            return 0;
        }
        if (gone && !hwnd) return 0;
        if (GetTickCount64() >= deadline) return 1;
        Sleep(25);
    }
}

}  // namespace

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    const std::wstring command = argc >= 2 ? argv[1] : L"";
    const HWND target = argc >= 3 ? parse_hwnd(argv[2]) : nullptr;

    if (command == L"hold") {
        GetDesktopWindow();
        ml::out("{\"ready\":true}\n");
        while (ml::read_stdin_line()) {
        }
        return 0;
    }
    if (command == L"list") {
        std::string out;
        for (HWND hwnd : top_windows()) out += describe_top(hwnd) + "\n";
        ml::out(out);
        return 0;
    }
    if (command == L"find" || command == L"wait" || command == L"watch") {
        Match match;
        DWORD timeout = 10000;
        bool gone = false;
        for (int i = 2; i < argc; ++i) {
            const std::wstring a = argv[i];
            if (a == L"--class" && i + 1 < argc)
                match.cls = argv[++i];
            else if (a == L"--title" && i + 1 < argc)
                match.title = argv[++i];
            else if (a == L"--timeout" && i + 1 < argc)
                timeout = static_cast<DWORD>(wcstoul(argv[++i], nullptr, 10));
            else if (a == L"--gone")
                gone = true;
        }
        if (command == L"watch") return watch(timeout);
        if (command == L"wait") return wait_for(match, timeout, gone);
        const HWND hwnd = find_visible(match);
        if (!hwnd) return 1;
        ml::out(describe_top(hwnd) + "\n");
        return 0;
    }
    if (target && !IsWindow(target)) {
        ml::err("guidriver: no such window\n");
        return 1;
    }
    if (command == L"children" && target) {
        const HWND focus = focus_of_thread(target);
        std::string out;
        for (HWND child = GetWindow(target, GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            out += describe_child(child, focus) + "\n";
        }
        ml::out(out);
        return 0;
    }
    if (command == L"focus" && target) {
        const HWND focus = focus_of_thread(target);
        if (!focus) return 1;
        ml::out(describe_child(focus, focus) + "\n");
        return 0;
    }
    if (command == L"click" && target) return ml::testing::post_click(target) ? 0 : 1;
    if (command == L"close" && target) return ml::testing::post_close_box(target) ? 0 : 1;
    if (command == L"key" && target && argc >= 4) {
        // Each key is aimed once the target has acted on the one before (a Tab has moved the
        // focus), never after a fixed pause.
        for (int i = 3; i < argc; ++i) {
            if (!ml::testing::press_key(target, ml::narrow(argv[i]))) {
                ml::err("guidriver: unknown key, the window is gone, or a Tab moved nothing\n");
                return 2;
            }
        }
        return 0;
    }
    ml::err(
        "usage: guidriver list | find | wait | children HWND | focus HWND | click HWND |"
        " key HWND KEY... | close HWND | watch | hold\n");
    return 2;
}
