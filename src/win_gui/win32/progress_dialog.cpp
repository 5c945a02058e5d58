#include "win_gui/win32/progress_dialog.hpp"

#include <commctrl.h>

#include <cstdlib>
#include <future>
#include <system_error>

#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/system_library.hpp"
#include "win_gui/placement.hpp"
#include "win_gui/win32/wide.hpp"
#include "win_gui/win32/window_class.hpp"

namespace ml {
namespace {

constexpr wchar_t kClassName[] = L"MarrowlaneProgressDlg";
constexpr int kWidth = 460;
constexpr int kHeight = 160;
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;

ProgressDialogState* state_of(HWND hwnd) {
    return reinterpret_cast<ProgressDialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HWND create_child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int y,
                  int height, HINSTANCE instance) {
    return CreateWindowExW(0, cls, text, style, 24, y, 412, height, parent, nullptr, instance,
                           nullptr);
}

void on_create(HWND hwnd, const CREATESTRUCTW& create) {
    auto* state = static_cast<ProgressDialogState*>(create.lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    if (!state) return;
    state->hwnd.store(hwnd);

    const auto font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (HICON icon = LoadIconW(create.hInstance, MAKEINTRESOURCEW(1))) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    // SS_NOPREFIX: "Creating Start Menu & Desktop shortcuts..." must show its '&' rather
    // than underline the following space.
    constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_NOPREFIX;
    const std::wstring headline = to_wide(state->message);
    HWND headline_label =
        create_child(hwnd, L"STATIC", headline.c_str(), kLabelStyle, 18, 22, create.hInstance);
    const std::wstring status = to_wide(state->status_text());
    HWND status_label =
        create_child(hwnd, L"STATIC", status.c_str(), kLabelStyle, 46, 20, create.hInstance);
    for (HWND label : {headline_label, status_label}) {
        if (label && font) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    state->status_hwnd.store(status_label);

    HWND bar = create_child(hwnd, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 76,
                            24, create.hInstance);
    if (bar) {
        SendMessageW(bar, PBM_SETRANGE32, 0, 100);
        SendMessageW(bar, PBM_SETPOS, 0, 0);
    }
    state->progress_hwnd.store(bar);
}

void on_update(const ProgressDialogState& state, WPARAM percent) {
    if (HWND bar = state.progress_hwnd.load()) SendMessageW(bar, PBM_SETPOS, percent, 0);
    if (HWND label = state.status_hwnd.load()) {
        // The text is read at display time, not carried in the message, so a queue of
        // updates all show the newest text while the bar steps through their values.
        state.with_status_text(
            [label](const std::string& text) { SetWindowTextW(label, to_wide(text).c_str()); });
    }
}

// The window's thread: creates the window, reports readiness, pumps messages until the
// window is destroyed. It holds its own reference to the state for as long as it runs.
void run_window_thread(std::shared_ptr<ProgressDialogState> state, std::wstring title,
                       std::promise<void> ready) {
    // The bar's class comes from comctl32, which is no KnownDLL: only the system folder's copy
    // is used (system_library.hpp). Without it the window shows its texts and no bar.
    INITCOMMONCONTROLSEX icc{static_cast<DWORD>(sizeof(icc)), ICC_PROGRESS_CLASS};
    if (const auto init = system_function_as<decltype(InitCommonControlsEx)>(
            L"comctl32.dll", "InitCommonControlsEx")) {
        (*init)(&icc);
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    register_window_class(instance, kClassName, progress_wnd_proc);

    const WindowPosition at = centred_position(GetSystemMetrics(SM_CXSCREEN),
                                               GetSystemMetrics(SM_CYSCREEN), kWidth, kHeight);
    UniqueWindow window(CreateWindowExW(0, kClassName, title.c_str(), kWindowStyle, at.x, at.y,
                                        kWidth, kHeight, nullptr, nullptr, instance, state.get()));
    if (!window) {
        // Without a window nothing would ever end a message loop, so none is entered and the
        // owner's close() finds the thread finished. A handle stored by WM_CREATE before the
        // creation failed must not be posted to.
        state->hwnd.store(nullptr);
        ready.set_value();
        return;
    }
    ShowWindow(window.get(), SW_SHOW);
    UpdateWindow(window.get());
    ready.set_value();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Normally WM_PROGRESS_CLOSE destroyed it already; the handle may then be reused.
    if (!IsWindow(window.get())) window.release();
}

[[noreturn]] void fail_thread_start(const std::system_error& error) {
    err(std::string("Error: cannot start the progress window's thread: ") + error.what() + "\n");
    std::_Exit(1);
}

}  // namespace

void ProgressDialogState::set_status_text(std::string_view text) {
    const std::lock_guard lock(status_mutex_);
    status_text_.assign(text);
}

std::string ProgressDialogState::status_text() const {
    const std::lock_guard lock(status_mutex_);
    return status_text_;
}

LRESULT CALLBACK progress_wnd_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            on_create(hwnd, *reinterpret_cast<const CREATESTRUCTW*>(lparam));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // The close box and Alt+F4 are refused: the work goes on whether or not the window
            // shows it, so only the owner may close it.
            if (const auto* state = state_of(hwnd); state && state->close_requested.load()) {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_PROGRESS_UPDATE:
            if (const auto* state = state_of(hwnd)) on_update(*state, wparam);
            return 0;
        case WM_PROGRESS_CLOSE:
            if (auto* state = state_of(hwnd)) state->close_requested.store(true);
            DestroyWindow(hwnd);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

ProgressDialog::ProgressDialog(std::string_view title, std::string_view message)
    : state_(std::make_shared<ProgressDialogState>(std::string(message))) {
    std::promise<void> ready;
    std::future<void> shown = ready.get_future();
    try {
        thread_ = std::thread(run_window_thread, state_, to_wide(title), std::move(ready));
    } catch (const std::system_error& error) {
        fail_thread_start(error);
    }
    // Ready, or the thread gave up its promise without keeping it: either way go on.
    shown.wait();
}

ProgressDialog::~ProgressDialog() {
    close();
}

ProgressDialog& ProgressDialog::operator=(ProgressDialog&& other) noexcept {
    if (this != &other) {
        close();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

void ProgressDialog::set_progress(std::uint32_t percent, std::string_view text) {
    if (!state_) return;
    state_->percent.store(percent);
    state_->set_status_text(text);
    if (HWND hwnd = state_->hwnd.load()) PostMessageW(hwnd, WM_PROGRESS_UPDATE, percent, 0);
}

void ProgressDialog::close() {
    if (thread_.joinable()) {
        if (HWND hwnd = state_->hwnd.load()) {
            // A post fails when the window's queue is full of updates; joining then would
            // wait for ever, so try again until the window has drained its queue.
            while (!PostMessageW(hwnd, WM_PROGRESS_CLOSE, 0, 0) && IsWindow(hwnd)) Sleep(1);
        }
        thread_.join();
    }
    state_.reset();
}

}  // namespace ml
