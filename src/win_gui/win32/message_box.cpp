#include "win_gui/win32/message_box.hpp"

#include <windows.h>

#include "win_gui/win32/wide.hpp"

namespace ml {
namespace {

int show_box(std::string_view title, std::string_view message, UINT style) {
    const std::wstring wide_title = to_wide(title);
    const std::wstring wide_message = to_wide(message);
    return MessageBoxW(nullptr, wide_message.c_str(), wide_title.c_str(), style);
}

}  // namespace

bool show_message_box(std::string_view title, std::string_view message, bool yes_no) {
    const UINT style = yes_no ? (MB_YESNO | MB_ICONQUESTION) : (MB_OK | MB_ICONINFORMATION);
    return show_box(title, message, style) == (yes_no ? IDYES : IDOK);
}

void show_ok_box(std::string_view title, std::string_view message, BoxIcon icon) {
    UINT style = MB_OK | MB_ICONINFORMATION;
    if (icon == BoxIcon::Warning) style = MB_OK | MB_ICONWARNING;
    if (icon == BoxIcon::Error) style = MB_OK | MB_ICONERROR;
    (void)show_box(title, message, style);
}

}  // namespace ml
