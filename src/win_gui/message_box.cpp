#include "win_gui/message_box.hpp"

#include <windows.h>

#include "win_gui/wide.hpp"

namespace ml {

bool show_message_box(std::string_view title, std::string_view message, bool yes_no) {
    const std::wstring wide_title = to_wide(title);
    const std::wstring wide_message = to_wide(message);
    const UINT style = yes_no ? (MB_YESNO | MB_ICONQUESTION) : (MB_OK | MB_ICONINFORMATION);
    const int pressed = MessageBoxW(nullptr, wide_message.c_str(), wide_title.c_str(), style);
    return pressed == (yes_no ? IDYES : IDOK);
}

}  // namespace ml
