#pragma once

#include <string_view>

namespace ml {

// Shows a standard message box with no owner: a Yes/No question when yes_no is set
// (true only for Yes), else an OK information box (true when confirmed). A box that cannot
// be shown gives false.
bool show_message_box(std::string_view title, std::string_view message, bool yes_no);

}  // namespace ml
