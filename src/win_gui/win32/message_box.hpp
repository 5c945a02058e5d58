#pragma once

#include <string_view>

namespace ml {

// Shows a standard message box with no owner: a Yes/No question when yes_no is set
// (true only for Yes), else an OK information box (true when confirmed). A box that cannot
// be shown gives false.
bool show_message_box(std::string_view title, std::string_view message, bool yes_no);

// How serious what an OK box tells is; it chooses the box's icon and sound.
enum class BoxIcon { Information, Warning, Error };

// Shows an OK box with no owner and that icon; returns once it was closed, or could not be
// shown.
void show_ok_box(std::string_view title, std::string_view message, BoxIcon icon);

}  // namespace ml
