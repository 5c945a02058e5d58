#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "platform/win32/win32.hpp"
#include "support/gui_input.hpp"
#include "support/poll.hpp"
#include "win_gui/placement.hpp"
#include "win_gui/win32/progress_dialog.hpp"

namespace ml {
namespace {

using testing::poll_until;

std::string text_of(HWND hwnd) {
    wchar_t buf[512] = {};
    GetWindowTextW(hwnd, buf, 512);
    return narrow(buf);
}

LRESULT bar_position(const ProgressDialogState& state) {
    return SendMessageW(state.progress_hwnd.load(), PBM_GETPOS, 0, 0);
}

// True once the window shows this bar position and status line.
bool shows(const ProgressDialogState& state, LRESULT percent, const std::string& status) {
    return poll_until([&] {
        return bar_position(state) == percent && text_of(state.status_hwnd.load()) == status;
    });
}

TEST(ProgressDialog, OpensShownWithHeadlineStatusAndEmptyBar) {
    ProgressDialog dialog("Foo Setup", "Installing Foo");
    const ProgressDialogState& state = dialog.state();
    const HWND hwnd = state.hwnd.load();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_NE(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());

    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    EXPECT_EQ(narrow(cls), "MarrowlaneProgressDlg");
    EXPECT_EQ(text_of(hwnd), "Foo Setup");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));

    RECT r{};
    GetWindowRect(hwnd, &r);
    const WindowPosition centred =
        centred_position(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 460, 160);
    EXPECT_EQ((WindowPosition{r.left, r.top}), centred);
    EXPECT_EQ(r.right - r.left, 460);
    EXPECT_EQ(r.bottom - r.top, 160);

    HWND headline = GetWindow(hwnd, GW_CHILD);
    ASSERT_NE(headline, nullptr);
    EXPECT_EQ(text_of(headline), "Installing Foo");
    EXPECT_EQ(text_of(state.status_hwnd.load()), "Please wait...");
    EXPECT_EQ(bar_position(state), 0);
    EXPECT_EQ(SendMessageW(state.progress_hwnd.load(), PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(state.percent.load(), 0u);
}

TEST(ProgressDialog, ShowsTheNewestTextAndClampsTheBar) {
    ProgressDialog dialog("T", "M");
    const ProgressDialogState& state = dialog.state();

    dialog.set_progress(35, "Deploying application runner...");
    EXPECT_TRUE(shows(state, 35, "Deploying application runner..."));

    // Queued updates: the bar steps through both values, the text is the newest one.
    dialog.set_progress(48, "first");
    dialog.set_progress(60, "second & last");
    EXPECT_TRUE(shows(state, 60, "second & last"));

    dialog.set_progress(150, "over the top");
    EXPECT_TRUE(shows(state, 100, "over the top"));
    EXPECT_EQ(state.percent.load(), 150u);
}

TEST(ProgressDialog, RefusesTheUsersCloseRequests) {
    ProgressDialog dialog("T", "M");
    const ProgressDialogState& state = dialog.state();
    const HWND hwnd = state.hwnd.load();
    std::uint32_t marker = 1;
    // Each request is followed by a progress update; once the window shows it, the request
    // (and the SC_CLOSE that Alt+F4 posts in turn) has been handled.
    const auto settle = [&] {
        for (int round = 0; round < 2; ++round) {
            dialog.set_progress(++marker, "marker");
            ASSERT_TRUE(shows(state, marker, "marker"));
        }
    };
    ASSERT_TRUE(testing::post_close_box(hwnd));
    settle();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    ASSERT_TRUE(testing::post_key(hwnd, "alt+f4"));
    settle();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    ASSERT_TRUE(PostMessageW(hwnd, WM_CLOSE, 0, 0));
    settle();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_FALSE(state.close_requested.load());
}

TEST(ProgressDialog, CloseRemovesTheWindowAndEndsTheThread) {
    ProgressDialog dialog("T", "M");
    const HWND hwnd = dialog.state().hwnd.load();
    dialog.set_progress(100, "Installation complete!");
    dialog.close();
    EXPECT_FALSE(IsWindow(hwnd));
    dialog.close();  // a second close, then the destructor: nothing left to do
}

TEST(ProgressDialog, MovedDialogsCloseOnce) {
    HWND first_hwnd = nullptr;
    HWND second_hwnd = nullptr;
    {
        ProgressDialog first("A", "a");
        first_hwnd = first.state().hwnd.load();
        ProgressDialog moved(std::move(first));
        EXPECT_TRUE(IsWindow(first_hwnd));
        ProgressDialog second("B", "b");
        second_hwnd = second.state().hwnd.load();
        // Assigning over a live dialog closes the window it had.
        second = std::move(moved);
        EXPECT_FALSE(IsWindow(second_hwnd));
        EXPECT_TRUE(IsWindow(first_hwnd));
    }
    EXPECT_FALSE(IsWindow(first_hwnd));
}

}  // namespace
}  // namespace ml
