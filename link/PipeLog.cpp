#include "link/PipeLog.h"

#include "base/Log.h"

void PipeLog::Line(DWORD processId, ViewerLine line)
{
    Unwritten(false);
    if (log.Take(line, GetTickCount64()))
        LogPrint("%s: %s %lu %s\n", label, client, processId, ViewerLineText(line));
}

void PipeLog::Unwritten(bool ending)
{
    ViewerCounts counts = {};
    if (log.TakeUnwritten(GetTickCount64(), ending, counts))
        LogPrint("%s: %ss not logged one by one in the last minute: %lu connected, %lu left, "
                 "%lu refused, %lu dropped\n",
                 label, client, static_cast<unsigned long>(counts.connected),
                 static_cast<unsigned long>(counts.left),
                 static_cast<unsigned long>(counts.refused),
                 static_cast<unsigned long>(counts.dropped));
}
