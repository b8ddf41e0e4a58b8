// Composition of a log entry from a time, a thread id and the caller's printf-style text.
#pragma once

#include <cstdarg>
#include <cstddef>

// Size of each of the two buffers an entry is built in (the composed format and the entry).
const size_t LOG_BUFFER_SIZE = 2048;

// The local time and thread of one entry.
struct LogStamp {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
    int millisecond;
    unsigned long threadId;
};

// Writes "yy/mm/dd hh:mm:ss.mmm tttt " followed by the caller's format, copied verbatim so that
// its conversions survive. A format too long for the buffer is cut to fit, and a conversion
// that the cut would leave unfinished is dropped whole.
void ComposeLogFormat(char* out, size_t size, const LogStamp& stamp, const char* format);

// Formats the composed text with the caller's arguments; an entry that does not fit is cut.
void FormatLogEntry(char* out, size_t size, const char* composed, va_list args);

// Appends text (a file name, a separator) to a path. Returns false, and
// leaves the path unchanged, when the result would not fit into size bytes.
bool AppendToPath(char* path, size_t size, const char* tail);
