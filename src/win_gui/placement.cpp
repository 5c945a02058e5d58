#include "win_gui/placement.hpp"

namespace ml {
namespace {

constexpr int kFallbackEdge = 100;

int centred_edge(int screen, int size) {
    return screen > size ? (screen - size) / 2 : kFallbackEdge;
}

}  // namespace

WindowPosition centred_position(int screen_width, int screen_height, int width, int height) {
    return WindowPosition{centred_edge(screen_width, width), centred_edge(screen_height, height)};
}

}  // namespace ml
