#pragma once

// User input for windows of this or another process, posted the way the system delivers it.
// Posted rather than sent: a click whose handler opens a modal box would otherwise block the
// caller until the box is gone.
#include <windows.h>

#include <string_view>

#include "support/poll.hpp"

namespace ml::testing {

// The window that has the keyboard focus in the thread of hwnd; null when none has.
inline HWND focus_of_thread(HWND hwnd) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Posts one key press (down and up) to target: "enter", "escape", "tab", "space" or
// "alt+f4". False for an unknown name or when the key-down could not be posted.
inline bool post_key(HWND target, std::string_view name) {
    struct Key {
        std::string_view name;
        UINT vk;
        bool alt;
    };
    static constexpr Key kKeys[] = {{"enter", VK_RETURN, false},
                                    {"escape", VK_ESCAPE, false},
                                    {"tab", VK_TAB, false},
                                    {"space", VK_SPACE, false},
                                    {"alt+f4", VK_F4, true}};
    for (const Key& key : kKeys) {
        if (name != key.name) continue;
        const auto scan = static_cast<LPARAM>(MapVirtualKeyW(key.vk, MAPVK_VK_TO_VSC)) << 16;
        // Bit 29 says Alt is held: DefWindowProc turns Alt+F4 into SC_CLOSE by it.
        const LPARAM alt = key.alt ? (LPARAM{1} << 29) : 0;
        const LPARAM released = (LPARAM{1} << 30) | (LPARAM{1} << 31);
        const UINT down = key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const UINT up = key.alt ? WM_SYSKEYUP : WM_KEYUP;
        if (!PostMessageW(target, down, key.vk, 1 | scan | alt)) return false;
        // The key-down may close the window before the key-up is posted (Enter on a dialog
        // whose Install destroys it); the release then has nowhere to go, and that is fine.
        PostMessageW(target, up, key.vk, 1 | scan | alt | released);
        return true;
    }
    return false;
}

// Posts a key press to whatever has the focus in hwnd's thread, or to hwnd itself.
inline bool post_key_to_focus(HWND hwnd, std::string_view name) {
    const HWND focus = focus_of_thread(hwnd);
    return post_key(focus ? focus : hwnd, name);
}

// Presses a key for hwnd's thread as a user would: once that thread runs its message loop
// (a window exists, and its thread sets the focus, before the loop runs), the key goes to
// the window that has the focus then (hwnd itself when none has). After a Tab it waits until
// the focus has moved on, so that the next key reaches the control the user would expect.
// False for an unknown key, a window that is gone or hung, or a Tab that moved nothing
// within timeout_ms.
inline bool press_key(HWND hwnd, std::string_view name, DWORD timeout_ms = 30000) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, timeout_ms,
                             &ignored)) {
        return false;
    }
    const HWND before = focus_of_thread(hwnd);
    if (!post_key(before ? before : hwnd, name)) return false;
    if (name != "tab") return true;
    return poll_until([&] { return focus_of_thread(hwnd) != before; }, timeout_ms);
}

// Posts a left click (button down and up) in the middle of a control.
inline bool post_click(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    return PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at) &&
           PostMessageW(control, WM_LBUTTONUP, 0, at);
}

// Posts what the close box in the title bar sends.
inline bool post_close_box(HWND window) {
    return PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

}  // namespace ml::testing
