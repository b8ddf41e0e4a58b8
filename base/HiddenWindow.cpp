#include "base/HiddenWindow.h"

namespace
{

// Its own name, so that no other program's message can be taken for it.
const char SHOW_HISTORY_MESSAGE_NAME[] = "Ambrel.ShowHistory.289dce63-0063-46ae-8c2d-8b4092f97230";

const char PAUSE_MESSAGE_NAME[] = "Ambrel.Pause.5f0c2e1a-7b3d-4c61-9a2e-d41f6b8e0c37";

const char SAVE_HISTORY_MESSAGE_NAME[] = "Ambrel.SaveHistory.a3e1c9d4-62b7-4f05-8e1a-3c9b7d2f6e14";

} // namespace

UINT RegisteredMessage(std::atomic<UINT>& number, const char* name)
{
    UINT known = number.load(std::memory_order_relaxed);
    if (known == 0) {
        known = RegisterWindowMessageA(name);
        number.store(known, std::memory_order_relaxed);
    }
    return known;
}

UINT ShowHistoryMessage()
{
    static std::atomic<UINT> message{0};
    return RegisteredMessage(message, SHOW_HISTORY_MESSAGE_NAME);
}

UINT PauseMessage()
{
    static std::atomic<UINT> message{0};
    return RegisteredMessage(message, PAUSE_MESSAGE_NAME);
}

UINT SaveHistoryMessage()
{
    static std::atomic<UINT> message{0};
    return RegisteredMessage(message, SAVE_HISTORY_MESSAGE_NAME);
}
