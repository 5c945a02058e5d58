#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace ml {

// Posted by the owner: show the shared status text and move the bar to wParam.
inline constexpr UINT WM_PROGRESS_UPDATE = WM_USER + 10;
// Posted by the owner: close the window and end the window's thread.
inline constexpr UINT WM_PROGRESS_CLOSE = WM_USER + 11;

// What the owner's thread and the progress window's thread share. The handles are written
// once by the window's thread before it reports readiness; the status text is the only
// thing behind a lock, and no message is sent while that lock is held.
struct ProgressDialogState {
    explicit ProgressDialogState(std::string headline) : message(std::move(headline)) {}

    const std::string message;
    std::atomic<HWND> hwnd{nullptr};
    std::atomic<HWND> progress_hwnd{nullptr};
    std::atomic<HWND> status_hwnd{nullptr};
    std::atomic<std::uint32_t> percent{0};
    std::atomic<bool> close_requested{false};

    // Replaces the status line text.
    void set_status_text(std::string_view text);
    // A copy of the status line text.
    std::string status_text() const;
    // Calls use(text) with the status line text while holding its lock.
    template <class Use>
    void with_status_text(Use&& use) const {
        const std::lock_guard lock(status_mutex_);
        use(std::as_const(status_text_));
    }

  private:
    mutable std::mutex status_mutex_;
    std::string status_text_ = "Please wait...";
};

// A small window with a headline, a status line and a 0..100 bar, on a thread of its own so
// that it stays responsive while the owner's thread works. The user cannot close it; it goes
// away when the owner calls close() or destroys the object. Move-only.
class ProgressDialog {
  public:
    // Starts the window's thread and returns once the window is shown, or once its creation
    // failed (the dialog then only records progress). A thread that cannot be started ends
    // the program.
    ProgressDialog(std::string_view title, std::string_view message);
    ~ProgressDialog();
    ProgressDialog(ProgressDialog&& other) noexcept = default;
    ProgressDialog& operator=(ProgressDialog&& other) noexcept;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Records percent (values above 100 show a full bar) and the status text, and asks the
    // window to show them; does not wait for the repaint.
    void set_progress(std::uint32_t percent, std::string_view text);

    // Closes the window and waits until its thread has ended. Later calls, and the
    // destructor afterwards, do nothing.
    void close();

    // The shared state, for tests that look at the window; the dialog must not be moved-from.
    const ProgressDialogState& state() const { return *state_; }

  private:
    std::shared_ptr<ProgressDialogState> state_;
    std::thread thread_;
};

// Window procedure of the progress window's class; only Windows calls it.
LRESULT CALLBACK progress_wnd_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace ml
