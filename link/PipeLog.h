// What a pipe's server writes about its clients, kept to a few lines a minute however many come
// and go (ViewerLog decides): "<label>: <client> 1234 connected", and once a minute is over, how
// many lines of each kind were only counted.
#pragma once

#include "link/ViewerLog.h"

#include <windows.h>

class PipeLog
{
  public:
    // What each line begins with, and what the server calls a client; set before the first line.
    const char* label = "PipeServer";
    const char* client = "viewer";

    // A line about one client, written or counted.
    void Line(DWORD processId, ViewerLine line);
    // The counts, once their minute is over or (ending) no more lines come.
    void Unwritten(bool ending);
    // When counted lines are due to be written, or 0 while none are counted.
    ULONGLONG DueAt() const { return log.DueAt(); }

  private:
    ViewerLog log;
};
