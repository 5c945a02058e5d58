#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <future>
#include <string>
#include <thread>

#include "platform/win32/win32.hpp"
#include "support/gui_input.hpp"
#include "support/poll.hpp"
#include "win_gui/win32/options_dialog.hpp"

namespace ml {
namespace {

using testing::poll_until;

// The options dialog of this process, once it is visible.
HWND find_dialog() {
    HWND found = nullptr;
    poll_until([&] {
        for (HWND hwnd = FindWindowW(L"MarrowlaneSetupOptionsDlg", nullptr); hwnd;
             hwnd = FindWindowExW(nullptr, hwnd, L"MarrowlaneSetupOptionsDlg", nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd)) found = hwnd;
        }
        return found != nullptr;
    });
    return found;
}

std::string text_of(HWND hwnd) {
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return narrow(buf);
}

bool checked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

struct Initial {
    bool steam_detected = true;
    bool start_menu = true;
    bool desktop = true;
    bool steam_library = true;
};

// Shows the dialog on a thread of its own (as the installer's main thread would), lets act
// play the user, and returns what the dialog returned. A dialog still open after the
// deadline is closed so that the test fails instead of hanging.
std::optional<OptionsChoice> run_dialog(const Initial& initial,
                                        const std::function<void(HWND)>& act) {
    std::packaged_task<std::optional<OptionsChoice>()> task([initial] {
        return show_options_dialog("Foo", initial.steam_detected, initial.start_menu,
                                   initial.desktop, initial.steam_library);
    });
    auto result = task.get_future();
    std::thread ui(std::move(task));
    const HWND dialog = find_dialog();
    EXPECT_NE(dialog, nullptr);
    // The window exists before its thread has set the focus and entered its message loop;
    // a key posted earlier would meet a dialog without focus. A sent message returns only
    // once the loop runs.
    // A window has the keyboard focus only while it is the active one, which it becomes
    // soon after it is shown.
    if (dialog) SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 10000, nullptr);
    if (dialog) poll_until([&] { return testing::focus_of_thread(dialog) != nullptr; });
    if (dialog) act(dialog);
    if (result.wait_for(std::chrono::seconds(40)) != std::future_status::ready) {
        ADD_FAILURE() << "the dialog did not end";
        if (const HWND late = dialog ? dialog : find_dialog()) {
            PostMessageW(late, WM_COMMAND, IDCANCEL, 0);
        }
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ui.detach();  // the process ends with the test; a hang would not
            return std::nullopt;
        }
    }
    ui.join();
    return result.get();
}

TEST(OptionsDialog, WindowAndControls) {
    for (const bool detected : {true, false}) {
        run_dialog({detected, true, false, detected}, [&](HWND dialog) {
            EXPECT_EQ(text_of(dialog), "Foo Setup");
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)) & 0x00FF0000u,
                      0x00CA0000u);
            RECT r{};
            GetWindowRect(dialog, &r);
            EXPECT_EQ(r.right - r.left, 500);
            EXPECT_EQ(r.bottom - r.top, 250);
            EXPECT_TRUE(checked(dialog, kStartMenuBoxId));
            EXPECT_FALSE(checked(dialog, kDesktopBoxId));
            EXPECT_EQ(checked(dialog, kSteamBoxId), detected);
            EXPECT_EQ(text_of(GetDlgItem(dialog, kSteamBoxId)),
                      detected ? "Add to Steam Library (Inject shortcut && custom artwork)"
                               : "Add to Steam Library (Steam not detected - optional)");
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kSteamBoxId)));
            EXPECT_EQ(text_of(GetDlgItem(dialog, IDOK)), "Install");
            EXPECT_EQ(text_of(GetDlgItem(dialog, IDCANCEL)), "Cancel");
            testing::post_click(GetDlgItem(dialog, IDCANCEL));
        });
    }
}

TEST(OptionsDialog, ResultFollowsWhatTheUserDid) {
    const OptionsChoice all{true, true, true};
    struct Case {
        const char* name;
        Initial initial;
        std::function<void(HWND)> act;
        std::optional<OptionsChoice> expected;
    };
    const auto key = [](const char* name) {
        return [name](HWND dialog) { testing::press_key(dialog, name); };
    };
    const auto click = [](int id) {
        return [id](HWND dialog) { testing::post_click(GetDlgItem(dialog, id)); };
    };
    const std::vector<Case> cases = {
        {"Install", {}, click(IDOK), all},
        {"Enter", {}, key("enter"), all},
        {"Cancel", {}, click(IDCANCEL), std::nullopt},
        {"Escape", {}, key("escape"), std::nullopt},
        {"close box", {}, [](HWND d) { testing::post_close_box(d); }, std::nullopt},
        {"Alt+F4", {}, key("alt+f4"), std::nullopt},
        {"Desktop unchecked, Enter",
         {},
         [&](HWND d) {
             click(kDesktopBoxId)(d);
             poll_until([&] { return !checked(d, kDesktopBoxId); });
             key("enter")(d);
         },
         OptionsChoice{true, false, true}},
        {"no Steam, box checked anyway",
         {false, true, true, false},
         [&](HWND d) {
             click(kSteamBoxId)(d);
             poll_until([&] { return checked(d, kSteamBoxId); });
             click(IDOK)(d);
         },
         all},
        // Tab to the Desktop box and press Space: only that box changes (a '&' in the Steam
        // box's label once made Space its mnemonic too). Each key waits until the one before
        // has been acted on; the last Tab moves the focus only after the Space and anything
        // it set off have been handled, so the other boxes are looked at after all of it.
        {"Tab, Tab, Space",
         {},
         [&](HWND d) {
             ASSERT_TRUE(testing::press_key(d, "tab"));
             EXPECT_EQ(testing::focus_of_thread(d), GetDlgItem(d, kStartMenuBoxId));
             ASSERT_TRUE(testing::press_key(d, "tab"));
             EXPECT_EQ(testing::focus_of_thread(d), GetDlgItem(d, kDesktopBoxId));
             ASSERT_TRUE(testing::press_key(d, "space"));
             EXPECT_TRUE(poll_until([&] { return !checked(d, kDesktopBoxId); }));
             ASSERT_TRUE(testing::press_key(d, "tab"));
             EXPECT_EQ(testing::focus_of_thread(d), GetDlgItem(d, kSteamBoxId));
             EXPECT_TRUE(checked(d, kSteamBoxId));
             EXPECT_TRUE(checked(d, kStartMenuBoxId));
             testing::press_key(d, "escape");
         },
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_dialog(c.initial, c.act), c.expected);
    }
}

}  // namespace
}  // namespace ml
