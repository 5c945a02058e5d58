#pragma once

namespace ml {

// Top-left corner of a top-level window on the primary screen.
struct WindowPosition {
    int x = 0;
    int y = 0;

    friend bool operator==(const WindowPosition&, const WindowPosition&) = default;
};

// Centres a window of the given size on a screen of the given size (halves rounded down).
// On an axis where the screen is not larger than the window the edge is at 100 instead, so
// that a tiny or unknown (0) screen size still gives a reachable window.
WindowPosition centred_position(int screen_width, int screen_height, int width, int height);

}  // namespace ml
