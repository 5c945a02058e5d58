#include "win_gui/win32/wide.hpp"

#include "platform/win32/win32.hpp"

namespace ml {

std::wstring to_wide(std::string_view utf8) {
    return widen(utf8);
}

}  // namespace ml
