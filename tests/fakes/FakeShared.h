// Helpers shared by the fake pdh.dll and powrprof.dll and by the tests that steer them: the
// environment variables that name their files, the lock that keeps one process at a time in
// those files, the trace and the text form of a GUID.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>

#define AMBREL_FAKE_POWER_VARIABLE "AMBREL_FAKE_POWER"
#define AMBREL_FAKE_PDH_VARIABLE "AMBREL_FAKE_PDH"
#define AMBREL_FAKE_TRACE_VARIABLE "AMBREL_FAKE_TRACE"
// Below HKEY_LOCAL_MACHINE: REG_SZ values named as the variables, read where a variable is not
// set (in a service, which gets none of the test's environment).
#define AMBREL_FAKE_KEY "Software\\Ambrel Fakes"

// Named mutex held while a fake or a test reads or writes one of the files, so that a test
// never sees a store half rewritten and trace lines of several processes never interleave.
#define AMBREL_FAKE_LOCK_NAME "AmbrelFakeFilesLock"

// Text form of a GUID without braces, lower case: 36 characters and the terminating zero.
const size_t FAKE_GUID_TEXT_SIZE = 37;

class FakeFileLock
{
  public:
    FakeFileLock();
    // Takes the lock only when take is set: a call that reads no file needs it only to trace.
    explicit FakeFileLock(bool take);
    ~FakeFileLock();

  private:
    HANDLE mutex;
};

// Copies the value of an environment variable of this process into path, or where it is not set
// the value of that name under AMBREL_FAKE_KEY; false when neither is there or it is too long.
// Reads the process environment, which SetEnvironmentVariableA changes at once.
bool FakeFilePath(const char* variable, char* path, size_t size);

// A file rewritten whole: written to PATH.new and put in place of PATH in one rename, so that a
// reader that takes no lock (a test's own reads of the store) and a process killed while it
// writes leave the old content or the new, never half of it. FakeOpenReplacement gives nullptr
// where PATH.new cannot be made; FakeCommitReplacement closes the file and renames it; false
// when either fails (the old file then stays as it was).
FILE* FakeOpenReplacement(const char* path);
bool FakeCommitReplacement(FILE* file, const char* path);

// Appends one line (the line break is added) to the trace file, if AMBREL_FAKE_TRACE is set.
// The caller holds the FakeFileLock.
void FakeTrace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// "null" for a null pointer, otherwise the GUID as xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx.
void FakeGuidText(const GUID* guid, char text[FAKE_GUID_TEXT_SIZE]);

// Parses the form that FakeGuidText writes (either case); false when text is not a GUID.
bool FakeParseGuid(const char* text, GUID* guid);

// The next word of a line, as "%Ns" reads it: blanks skipped, at most size - 1 characters taken
// (the rest of a longer word is the next one); false, and word untouched, at the end of the
// line. The fakes parse
// their files with it rather than sscanf, whose MinGW implementation would make the fake
// powrprof.dll, which only Ambrel loads, some 30 KB larger than the system's library it stands
// for: under Wine every byte of its image is resident in the process.
bool FakeNextWord(const char*& at, char* word, size_t size);
