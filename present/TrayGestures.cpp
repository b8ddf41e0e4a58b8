#include "present/TrayGestures.h"

namespace
{

TrayEvent FollowUpOf(TrayEvent event)
{
    switch (event) {
    case TrayEvent::RightButtonDown:
        return TrayEvent::ContextMenu;
    case TrayEvent::KeySelect:
        return TrayEvent::KeySelect;
    case TrayEvent::Select:
        return TrayEvent::DoubleClick;
    case TrayEvent::DoubleClick:
        return TrayEvent::Select;
    default:
        return TrayEvent::Other;
    }
}

TrayAction ActionOf(TrayEvent event)
{
    switch (event) {
    case TrayEvent::RightButtonDown:
        return TrayAction::MenuAtCursor;
    case TrayEvent::ContextMenu:
        return TrayAction::MenuAtAnchor;
    case TrayEvent::Select:
    case TrayEvent::KeySelect:
        return TrayAction::Activate;
    case TrayEvent::DoubleClick:
        return TrayAction::SecondClick;
    default:
        return TrayAction::None;
    }
}

} // namespace

TrayAction TrayGestures::Decide(TrayEvent event, uint64_t nowMs)
{
    if (event == TrayEvent::Other)
        return TrayAction::None;
    if (busy) {
        if (event == followUp)
            followUp = TrayEvent::Other;
        return TrayAction::None;
    }
    // A double click comes only as the second click of a pair, however long the user's
    // double-click time: after a left click it belongs to that gesture, on its own it does nothing.
    if (event == TrayEvent::DoubleClick && followUp != TrayEvent::DoubleClick)
        return TrayAction::None;
    if (event == followUp && event != TrayEvent::DoubleClick &&
        nowMs - doneMs < GESTURE_FOLLOW_MS) {
        followUp = TrayEvent::Other;
        return TrayAction::None;
    }
    followUp = FollowUpOf(event);
    busy = true;
    return ActionOf(event);
}

void TrayGestures::Done(uint64_t nowMs)
{
    busy = false;
    doneMs = nowMs;
}
