// Shared by the power tests: the process's log file and a fake platform with two schemes.
#pragma once

#include "fakes/FakeControl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The log entries written since a mark, read back from %TEMP%\Ambrel.log, which the test
// environment deletes and opens once for the whole test process.
class LogSince
{
  public:
    LogSince();
    // The bytes written since the mark, exactly as stored in the file.
    std::string Bytes() const;
    // The lines written since the mark, without their "\r\n".
    std::vector<std::string> Lines() const;

  private:
    size_t mark;
};

// The message of one line after the entry prefix "yy/mm/dd hh:mm:ss.mmm tid "; "" and a test
// failure when the prefix is malformed.
std::string MessageOfLogLine(const std::string& line);

// The store: balanced 100/95 with class-1 values 100/60 (a hybrid processor's scheme) and high
// performance 100/85 without class-1 values (a scheme of an older Windows), so that every value
// that must stay untouched differs from every other.
std::string TwoSchemeStore(const std::string& active, int balancedAc = 100,
                           const std::string& extra = "");

// Begins the fake platform in a directory named after the running test.
void BeginFakes(FakePlatform& fake);
