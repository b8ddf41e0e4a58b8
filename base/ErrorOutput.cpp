#include "base/ErrorOutput.h"

#include <windows.h>

#include <cstring>

// A process of the GUI subsystem has a standard error only where its starter gave it one; the
// console of the command that started it is the other place where a user sees the text.
void WriteError(const char* text)
{
    HANDLE output = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE opened = nullptr;
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        opened = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
        output = opened;
    }
    DWORD written = 0;
    if (output != nullptr && output != INVALID_HANDLE_VALUE)
        WriteFile(output, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    if (opened != nullptr && opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
}
