#include <gtest/gtest.h>

#include "win_gui/placement.hpp"

namespace ml {
namespace {

TEST(Placement, CentredWithFallbackAt100) {
    struct Case {
        int screen_w, screen_h, w, h;
        WindowPosition expected;
    };
    const std::vector<Case> cases = {
        {1280, 1024, 500, 250, {390, 387}},
        {1920, 1080, 460, 160, {730, 460}},
        {1281, 1025, 500, 250, {390, 387}},  // halves round down
        {501, 251, 500, 250, {0, 0}},
        {500, 250, 500, 250, {100, 100}},  // not wider / not taller: fallback
        {460, 1024, 460, 160, {100, 432}},
        {1024, 160, 460, 160, {282, 100}},
        {0, 0, 500, 250, {100, 100}},  // metrics unavailable
        {-1, -1, 460, 160, {100, 100}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(centred_position(c.screen_w, c.screen_h, c.w, c.h), c.expected)
            << c.screen_w << "x" << c.screen_h << " window " << c.w << "x" << c.h;
    }
}

}  // namespace
}  // namespace ml
