// The report that --diagnose prints, line by line, and its sections beyond Diagnosis.cpp.
#pragma once

#include "app/commands/ConsoleOutput.h"
#include "base/Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Nothing of it goes to the log: the log sinks are never opened by --diagnose, and the readers
// that it shares with the controller log only there.
class Report
{
  public:
    ConsoleOutput output;
    // How many things could not be read.
    int unread = 0;

    void Say(const char* format, ...) AMBREL_PRINTF_FORMAT(2, 3)
    {
        va_list arguments;
        va_start(arguments, format);
        Line(format, arguments);
        va_end(arguments);
    }
    // Says it and counts it as not read.
    void Unread(const char* format, ...) AMBREL_PRINTF_FORMAT(2, 3)
    {
        ++unread;
        va_list arguments;
        va_start(arguments, format);
        Line(format, arguments);
        va_end(arguments);
    }

  private:
    void Line(const char* format, va_list arguments)
    {
        char line[512];
        std::vsnprintf(line, sizeof line - 2, format, arguments);
        std::strcat(line, "\r\n");
        output.WriteAscii(line);
    }
};

// The machine's thermal zones with their readings; each counter path of a zone as the program
// reads it; the active power scheme's maximum processor state; what a ledger holds (the
// machine's or the user's).
void DescribeZones(Report& report);
void DescribePaths(Report& report, const char* zone);
void DescribeScheme(Report& report);
void DescribeLedger(Report& report, bool machine);
