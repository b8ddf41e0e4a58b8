#include "app/commands/ConsoleOutput.h"

#include <cstring>

void ConsoleOutput::Open()
{
    output = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        opened = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            opened = nullptr;
        output = opened;
    }
    if (output == INVALID_HANDLE_VALUE)
        output = nullptr;
    DWORD mode = 0;
    console = output != nullptr && GetConsoleMode(output, &mode) != FALSE;
}

void ConsoleOutput::Write(const wchar_t* text)
{
    if (output == nullptr)
        return;
    const int length = lstrlenW(text);
    DWORD written = 0;
    if (console) {
        WriteConsoleW(output, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    // Every UTF-16 unit takes at most three bytes.
    static char bytes[3 * 4096];
    int done = 0;
    while (done < length) {
        const int part = length - done < 4096 ? length - done : 4096;
        const int size = WideCharToMultiByte(CP_UTF8, 0, text + done, part, bytes, sizeof bytes,
                                             nullptr, nullptr);
        if (size <= 0 || !WriteFile(output, bytes, static_cast<DWORD>(size), &written, nullptr))
            return;
        done += part;
    }
}

void ConsoleOutput::WriteAscii(const char* text)
{
    if (output == nullptr)
        return;
    DWORD written = 0;
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    if (console)
        WriteConsoleA(output, text, length, &written, nullptr);
    else
        WriteFile(output, text, length, &written, nullptr);
}

void ConsoleOutput::Close()
{
    if (opened != nullptr) {
        CloseHandle(opened);
        opened = nullptr;
    }
    output = nullptr;
    console = false;
}
