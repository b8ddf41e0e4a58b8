#include "app/RunningInstance.h"

namespace
{

const wchar_t IMAGE_NAME[] = L"ambrel.exe";
// Room for a long path; a longer one cannot be checked.
const DWORD IMAGE_PATH_SIZE = 4096;
// Windows of the class looked at, at most: a program that makes many of them cannot hold the
// search up.
const int MAX_CANDIDATES = 64;

enum class Program { Ambrel, Other, Unknown };

Program ProgramOf(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return Program::Unknown;
    wchar_t path[IMAGE_PATH_SIZE];
    DWORD size = IMAGE_PATH_SIZE;
    BOOL read = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!read)
        return Program::Unknown;
    return IsAmbrelImagePath(path) ? Program::Ambrel : Program::Other;
}

bool InThisSession(DWORD processId)
{
    DWORD own = 0;
    DWORD its = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &own) &&
           ProcessIdToSessionId(processId, &its) && own == its;
}

} // namespace

// Letter case is folded for ASCII alone: no other character folds to one of the name's.
bool IsAmbrelImagePath(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/')
            name = c + 1;
    }
    int i = 0;
    for (; IMAGE_NAME[i] != L'\0'; ++i) {
        wchar_t c = name[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != IMAGE_NAME[i])
            return false;
    }
    return name[i] == L'\0';
}

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
        Program program = ProgramOf(id);
        if (program == Program::Ambrel) {
            window = candidate;
            processId = id;
            return InstanceSearch::Found;
        }
        if (program == Program::Unknown)
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
