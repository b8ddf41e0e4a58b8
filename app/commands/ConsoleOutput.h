// Where --status and --diagnose print: the standard output where the starter gave one (a
// redirect, a pipe, a console), else the console of the command that started this program of the
// GUI subsystem. Never a window of its own: where neither exists the text goes nowhere.
#pragma once

#include <windows.h>

class ConsoleOutput
{
  public:
    // Finds where to write; nothing is opened where nothing is there to write to.
    void Open();
    // Text to a console as it is; to a file or a pipe as UTF-8, which every script reads.
    void Write(const wchar_t* text);
    void WriteAscii(const char* text);
    void Close();

  private:
    HANDLE output = nullptr;
    // The console opened by its name after attaching to the parent's; closed by Close.
    HANDLE opened = nullptr;
    bool console = false;
};
