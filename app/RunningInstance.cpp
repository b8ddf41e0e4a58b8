#include "app/RunningInstance.h"

namespace
{

// Windows of the class looked at, at most: a program that makes many of them cannot hold the
// search up.
const int MAX_CANDIDATES = 64;

} // namespace

InstanceSearch FindRunningInstance(HWND& window, DWORD& processId)
{
    InstanceSearch result = InstanceSearch::None;
    HWND candidate = nullptr;
    for (int i = 0; i < MAX_CANDIDATES; ++i) {
        candidate = FindWindowExA(nullptr, candidate, HIDDEN_WINDOW_CLASS, nullptr);
        if (candidate == nullptr)
            break;
        DWORD id = 0;
        GetWindowThreadProcessId(candidate, &id);
        ProgramKind program = ProgramOfProcess(id);
        if (program == ProgramKind::Ambrel) {
            window = candidate;
            processId = id;
            return InstanceSearch::Found;
        }
        if (program == ProgramKind::Unknown)
            result = InstanceSearch::Unchecked;
    }
    return result;
}

bool AskRunningToShowHistory()
{
    HWND window = nullptr;
    DWORD processId = 0;
    if (FindRunningInstance(window, processId) != InstanceSearch::Found ||
        !InThisSession(processId))
        return false;
    // This process, just started by the user, may hand the foreground on, so that the window
    // comes to the front.
    AllowSetForegroundWindow(processId);
    return PostMessageA(window, ShowHistoryMessage(), 0, 0) != FALSE;
}

// Sent, not posted, so that the answer says whether the pause was made; a hung instance holds
// this run up for at most a few seconds.
LRESULT AskRunningToPause(int minutes)
{
    HWND window = nullptr;
    DWORD processId = 0;
    if (FindRunningInstance(window, processId) != InstanceSearch::Found ||
        !InThisSession(processId))
        return 0;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, PauseMessage(), static_cast<WPARAM>(minutes), 0,
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &answer))
        return 0;
    return static_cast<LRESULT>(answer);
}

bool AskRunningToSaveHistory()
{
    HWND window = nullptr;
    DWORD processId = 0;
    if (FindRunningInstance(window, processId) != InstanceSearch::Found ||
        !InThisSession(processId))
        return false;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, SaveHistoryMessage(), 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                               10000, &answer) &&
           answer == static_cast<DWORD_PTR>(SAVE_ANSWER_DONE);
}
