#pragma once

namespace ml {

// Connects this windowed program to the console of the program that started it, when there
// is one, so that its lines appear in that terminal. Standard streams that the parent
// redirected to a pipe or a file stay where they are. Without a parent console nothing
// happens and output goes nowhere.
void attach_console();

}  // namespace ml
