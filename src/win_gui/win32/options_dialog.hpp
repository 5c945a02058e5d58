#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace ml {

// What the user chose in the options dialog: true means the box was checked.
struct OptionsChoice {
    bool start_menu = false;
    bool desktop = false;
    bool steam_library = false;

    friend bool operator==(const OptionsChoice&, const OptionsChoice&) = default;
};

// Shows the setup's options dialog ("{name} Setup") on the calling thread with the three
// boxes in the given initial states and runs its message loop until the window is gone.
// The Steam box's wording says whether Steam was detected. Returns the three choices after
// Install (or Enter); nullopt after Cancel, Escape, the close box, Alt+F4, or when the
// window cannot be created.
std::optional<OptionsChoice> show_options_dialog(std::string_view name, bool steam_detected,
                                                 bool start_menu, bool desktop, bool steam_library);

// Window procedure of the options dialog's class; only Windows calls it.
LRESULT CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// Control ids of the options dialog, as a test driver finds them.
inline constexpr int kStartMenuBoxId = 101;
inline constexpr int kDesktopBoxId = 102;
inline constexpr int kSteamBoxId = 103;

}  // namespace ml
