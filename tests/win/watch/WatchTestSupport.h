// Shared helpers of the watch tests: a log of this process's own, a millisecond clock and
// counting of log texts.
#pragma once

#include <cstddef>
#include <string>

// Once per process: points TMP and TEMP at a directory of this test's own, so that test
// processes running side by side neither share Ambrel.log nor the fakes' files, starts an empty
// log there and opens it with OpenLogSinks(1, 0).
void OpenTestLog();

// The log from byte offset on, with the file's CR LF line ends read as LF; LogSize() marks
// where a test starts.
std::string LogSince(size_t offset);
size_t LogSize();

// How often text occurs in bytes. Log entries are matched as text rather than as lines because
// some entries carry no line break.
int CountOf(const std::string& bytes, const std::string& text);

// A monotonic clock in milliseconds.
double NowMs();
