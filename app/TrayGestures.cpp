#include "app/TrayGestures.h"

namespace
{

TrayEvent FollowUpOf(TrayEvent event)
{
    switch (event) {
    case TrayEvent::RightButtonDown:
        return TrayEvent::ContextMenu;
    case TrayEvent::KeySelect:
        return TrayEvent::KeySelect;
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
    if (event == followUp && nowMs - doneMs < GESTURE_FOLLOW_MS) {
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
