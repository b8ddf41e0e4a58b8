#include "app/commands/EndRunning.h"

#include "app/RunningInstance.h"
#include "base/Log.h"

int EndRunningInstance(DWORD wait)
{
    HWND window = nullptr;
    DWORD processId = 0;
    InstanceSearch found = FindRunningInstance(window, processId);
    if (found == InstanceSearch::Unchecked) {
        LogPrint("--exit: the program of a window of class Ambrel cannot be read; not asked\n");
        return END_RUNNING_NOT_ASKED;
    }
    if (found == InstanceSearch::None) {
        LogPrint("--exit: no instance runs\n");
        return END_RUNNING_DONE;
    }
    // The process is opened before the window is asked to close, so that its end is seen even
    // when it comes at once.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        LogPrint("--exit: OpenProcess() error=%lu\n", GetLastError());
        return END_RUNNING_NOT_ASKED;
    }
    int result = END_RUNNING_NOT_ASKED;
    if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
        LogPrint("--exit: PostMessageA() error=%lu\n", GetLastError());
    } else if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) {
        LogPrint("--exit: the instance has ended\n");
        result = END_RUNNING_DONE;
    } else {
        LogPrint("--exit: the instance still runs\n");
        result = END_RUNNING_TIMEOUT;
    }
    CloseHandle(process);
    return result;
}
