#include "app/TrayGestures.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using E = TrayEvent;
using A = TrayAction;

// One callback from the shell: when it arrives, what it must do, and when what it opened closes
// (-1: it opened nothing, or stays open for the next step).
struct Step {
    E event;
    uint64_t at;
    A action;
    int64_t doneAt;
};

struct Gesture {
    const char* name;
    std::vector<Step> steps;
};

const Gesture kGestures[] = {
    {"right click: the context menu that follows it in the menu opens nothing",
     {{E::RightButtonDown, 1000, A::MenuAtCursor, -1},
      {E::Other, 1100, A::None, -1},
      {E::ContextMenu, 1110, A::None, 5000},
      {E::ContextMenu, 5100, A::MenuAtAnchor, 6000}}},
    {"right click: the context menu that follows just after the menu closed opens nothing",
     {{E::RightButtonDown, 1000, A::MenuAtCursor, 1050},
      {E::ContextMenu, 1200, A::None, -1},
      {E::ContextMenu, 1300, A::MenuAtAnchor, 2000}}},
    {"right click that the shell follows with nothing: a later Shift+F10 opens the menu",
     {{E::RightButtonDown, 1000, A::MenuAtCursor, 3000},
      {E::ContextMenu, 3000 + GESTURE_FOLLOW_MS, A::MenuAtAnchor, 9000}}},
    {"Enter delivers NIN_KEYSELECT twice: in the menu, or at once after a quick action",
     {{E::KeySelect, 1000, A::Activate, -1},
      {E::KeySelect, 1001, A::None, 4000},
      {E::KeySelect, 4100, A::Activate, 4100},
      {E::KeySelect, 4150, A::None, -1},
      {E::KeySelect, 4200, A::Activate, 4300}}},
    {"left clicks and Shift+F10 each open once",
     {{E::Select, 1000, A::Activate, -1},
      {E::Select, 1200, A::None, 3000},
      {E::Select, 3100, A::Activate, 3500},
      {E::ContextMenu, 3600, A::MenuAtAnchor, 3700},
      {E::Other, 3800, A::None, -1}}},
};

TEST(TrayGestures, EachGestureOpensOnce)
{
    for (const Gesture& gesture : kGestures) {
        SCOPED_TRACE(gesture.name);
        TrayGestures gestures;
        int index = 0;
        for (const Step& step : gesture.steps) {
            EXPECT_EQ(static_cast<int>(gestures.Decide(step.event, step.at)),
                      static_cast<int>(step.action))
                << "step " << index++;
            if (step.doneAt >= 0)
                gestures.Done(static_cast<uint64_t>(step.doneAt));
        }
    }
}

} // namespace
