#include "base/AmbrelProcess.h"

namespace
{

const wchar_t IMAGE_NAME[] = L"ambrel.exe";
// Room for a long path; a longer one cannot be checked.
const DWORD IMAGE_PATH_SIZE = 4096;

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

ProgramKind ProgramOfProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return ProgramKind::Unknown;
    wchar_t path[IMAGE_PATH_SIZE];
    DWORD size = IMAGE_PATH_SIZE;
    BOOL read = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!read)
        return ProgramKind::Unknown;
    return IsAmbrelImagePath(path) ? ProgramKind::Ambrel : ProgramKind::Other;
}

bool InThisSession(DWORD processId)
{
    DWORD own = 0;
    DWORD its = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &own) &&
           ProcessIdToSessionId(processId, &its) && own == its;
}
