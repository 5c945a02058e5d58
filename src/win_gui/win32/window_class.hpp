#pragma once

#include <windows.h>

namespace ml {

// Registers one of the setup's window classes: the program icon (resource 1) as large and
// small icon, the arrow cursor, the button-face background, no menu, no extra bytes. A class
// left registered by an earlier window of this process serves as well, so the result is not
// looked at.
void register_window_class(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure);

}  // namespace ml
