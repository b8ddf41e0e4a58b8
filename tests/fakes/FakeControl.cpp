#include "FakeControl.h"

#include "FakeShared.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

const char* const kBalancedScheme = "381b4222-f694-41f0-9685-ff5bb260df2e";
const char* const kHighPerformanceScheme = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
const char* const kProcessorSubgroup = "54533251-82be-4824-96c1-47b60b740d00";
const char* const kThrottleMaximum = "bc5038f7-23e0-4960-96da-33abaf5935ec";
const char* const kThrottleMaximum1 = "bc5038f7-23e0-4960-96da-33abaf5935ed";
const char* const kThermalZoneCounterPath =
    "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision Temperature";

namespace
{

std::string TempDirectory()
{
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    return std::string(path, length); // ends with a backslash
}

bool WriteFileBytes(const std::string& path, const std::string& bytes, const char* mode)
{
    FakeFileLock lock;
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void DeleteFilesIn(const std::string& directory)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            DeleteFileA((directory + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Test names such as "Suite/Test/0" become one directory name.
std::string DirectoryNameOf(const std::string& name)
{
    std::string safe = name;
    for (char& c : safe) {
        if (std::strchr("\\/:*?\"<>|", c) != nullptr)
            c = '_';
    }
    return safe;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::string ReadFileBytes(const std::string& path)
{
    FakeFileLock lock;
    return ReadFileBytesWithoutLock(path);
}

std::string ReadFileBytesWithoutLock(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::string();
    std::string bytes;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, count);
    std::fclose(file);
    return bytes;
}

bool FakePlatform::Begin(const std::string& name)
{
    std::string temp = TempDirectory();
    if (temp.empty())
        return false;
    std::string parent = temp + "ambrel-fakes";
    CreateDirectoryA(parent.c_str(), nullptr);
    directory = parent + "\\" + DirectoryNameOf(name);
    CreateDirectoryA(directory.c_str(), nullptr);
    if (GetFileAttributesA(directory.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    DeleteFilesIn(directory);
    return WriteFileBytes(TracePath(), "", "wb") &&
           SetEnvironmentVariableA(AMBREL_FAKE_POWER_VARIABLE, PowerStorePath().c_str()) &&
           SetEnvironmentVariableA(AMBREL_FAKE_PDH_VARIABLE, PdhScriptPath().c_str()) &&
           SetEnvironmentVariableA(AMBREL_FAKE_TRACE_VARIABLE, TracePath().c_str());
}

void FakePlatform::End()
{
    SetEnvironmentVariableA(AMBREL_FAKE_POWER_VARIABLE, nullptr);
    SetEnvironmentVariableA(AMBREL_FAKE_PDH_VARIABLE, nullptr);
    SetEnvironmentVariableA(AMBREL_FAKE_TRACE_VARIABLE, nullptr);
}

std::string FakePlatform::PowerStorePath() const
{
    return directory + "\\store.txt";
}

std::string FakePlatform::PdhScriptPath() const
{
    return directory + "\\pdh.txt";
}

std::string FakePlatform::TracePath() const
{
    return directory + "\\trace.txt";
}

void FakePlatform::WritePowerStore(const std::string& text)
{
    WriteFileBytes(PowerStorePath(), text, "wb");
}

std::string FakePlatform::ReadPowerStore() const
{
    return ReadFileBytes(PowerStorePath());
}

void FakePlatform::WriteDefaultPowerStore()
{
    WritePowerStore(std::string("active ") + kBalancedScheme + "\n" + "scheme " + kBalancedScheme +
                    " 100 100\n" + "scheme " + kHighPerformanceScheme + " 100 100\n");
}

std::vector<std::string> FakePlatform::StoreLinesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> matching;
    for (const std::string& line : SplitLines(ReadPowerStore())) {
        if (StartsWith(line, prefix))
            matching.push_back(line);
    }
    return matching;
}

// Fields 1 to 4 of "scheme GUID AC DC [AC1 DC1]"; -1 for a field that is not there.
int FakePlatform::SchemeField(const std::string& guid, int field) const
{
    std::vector<std::string> lines = StoreLinesStartingWith("scheme " + guid + " ");
    if (lines.empty())
        return -1;
    std::istringstream words(lines.front().substr(std::string("scheme ").size() + guid.size()));
    int value = -1;
    for (int i = 1; i <= field; ++i) {
        value = -1;
        words >> value;
    }
    return value;
}

int FakePlatform::AcValue(const std::string& guid, int efficiencyClass) const
{
    return SchemeField(guid, 1 + 2 * efficiencyClass);
}

int FakePlatform::DcValue(const std::string& guid, int efficiencyClass) const
{
    return SchemeField(guid, 2 + 2 * efficiencyClass);
}

std::string FakePlatform::ActiveScheme() const
{
    std::vector<std::string> lines = StoreLinesStartingWith("active ");
    if (lines.empty())
        return std::string();
    std::istringstream words(lines.front().substr(std::string("active ").size()));
    std::string guid;
    words >> guid;
    return guid;
}

void FakePlatform::WritePdhScript(const std::string& text)
{
    WriteFileBytes(PdhScriptPath(), text, "wb");
}

void FakePlatform::AppendPdhScript(const std::string& line)
{
    WriteFileBytes(PdhScriptPath(), line + "\n", "ab");
}

std::vector<std::string> FakePlatform::Trace() const
{
    return SplitLines(ReadFileBytes(TracePath()));
}

std::vector<std::string> FakePlatform::TraceOf(const std::string& function) const
{
    std::vector<std::string> matching;
    for (const std::string& line : Trace()) {
        if (StartsWith(line, function + " "))
            matching.push_back(line);
    }
    return matching;
}

std::vector<std::string> FakePlatform::TraceFunctions() const
{
    std::vector<std::string> functions;
    for (const std::string& line : Trace())
        functions.push_back(line.substr(0, line.find(' ')));
    return functions;
}

std::vector<int> FakePlatform::AcWrites() const
{
    return Writes("PowerWriteACValueIndex", kThrottleMaximum);
}

std::vector<int> FakePlatform::Writes(const std::string& function, const std::string& setting) const
{
    std::vector<int> values;
    for (const std::string& line : TraceOf(function)) {
        if (TraceField(line, "setting") == setting)
            values.push_back(std::atoi(TraceField(line, "value").c_str()));
    }
    return values;
}

void FakePlatform::ClearTrace()
{
    WriteFileBytes(TracePath(), "", "wb");
}

std::string TraceField(const std::string& line, const std::string& key)
{
    if (key == "->") {
        size_t arrow = line.rfind(" -> ");
        return arrow == std::string::npos ? std::string() : line.substr(arrow + 4);
    }
    size_t start = line.find(" " + key + "=");
    if (start == std::string::npos)
        return std::string();
    start += key.size() + 2;
    if (line.compare(start, 1, "\"") == 0) {
        size_t close = line.find('"', start + 1);
        return line.substr(start + 1, close == std::string::npos ? close : close - start - 1);
    }
    size_t end = line.find(' ', start);
    return line.substr(start, end == std::string::npos ? end : end - start);
}

std::string LogFilePath()
{
    return TempDirectory() + "Ambrel.log";
}

std::string ReadLogFileBytes()
{
    return ReadFileBytes(LogFilePath());
}

std::vector<std::string> ReadLogFile()
{
    return SplitLines(ReadLogFileBytes());
}

void DeleteLogFile()
{
    DeleteFileA(LogFilePath().c_str());
}
