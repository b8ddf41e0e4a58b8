#include "WatchTestSupport.h"

#include "FakeControl.h"
#include "base/Log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

namespace
{

std::string TempPath()
{
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

// The log is this process's own, so it is read without the fakes' lock, which the fakes of
// other test processes contend for.
std::string ReadLogBytes()
{
    return ReadFileBytesWithoutLock(LogFilePath());
}

} // namespace

void OpenTestLog()
{
    static bool opened = false;
    if (opened)
        return;
    opened = true;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string parent = TempPath() + "ambrel-watch-tests";
    std::string own = parent + "\\" + test->test_suite_name() + "." + test->name();
    CreateDirectoryA(parent.c_str(), nullptr);
    CreateDirectoryA(own.c_str(), nullptr);
    ASSERT_NE(GetFileAttributesA(own.c_str()), INVALID_FILE_ATTRIBUTES) << own;
    SetEnvironmentVariableA("TMP", own.c_str());
    SetEnvironmentVariableA("TEMP", own.c_str());
    DeleteLogFile();
    OpenLogSinks(1, 0);
}

size_t LogSize()
{
    return ReadLogBytes().size();
}

std::string LogSince(size_t offset)
{
    std::string bytes = ReadLogBytes();
    std::string text;
    for (size_t i = offset; i < bytes.size(); ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            text += bytes[i];
    }
    return text;
}

int CountOf(const std::string& bytes, const std::string& text)
{
    int count = 0;
    for (size_t at = bytes.find(text); at != std::string::npos; at = bytes.find(text, at + 1))
        ++count;
    return count;
}

double NowMs()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}
