// Test-side control of the fake pdh.dll and powrprof.dll: a fresh directory per test, the
// environment variables that point the fakes at files in it, and readers for what they wrote.
#pragma once

#include <string>
#include <vector>

// Default scheme GUIDs for the tests (lower case, no braces, as in the store).
extern const char* const kBalancedScheme;        // 381b4222-f694-41f0-9685-ff5bb260df2e
extern const char* const kHighPerformanceScheme; // 8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c
// The setting that the fakes keep: the processor subgroup and its maximum state.
extern const char* const kProcessorSubgroup; // 54533251-82be-4824-96c1-47b60b740d00
extern const char* const kThrottleMaximum;   // bc5038f7-23e0-4960-96da-33abaf5935ec
extern const char* const kThrottleMaximum1;  // bc5038f7-23e0-4960-96da-33abaf5935ed (class 1)
// The counter path that the fake pdh.dll accepts.
extern const char* const kThermalZoneCounterPath;

// Gives the test a fresh directory under %TEMP% and points AMBREL_FAKE_POWER, AMBREL_FAKE_PDH
// and AMBREL_FAKE_TRACE (in this process's environment, so child processes inherit them) at
// files in it. The files are store.txt, pdh.txt and trace.txt.
class FakePlatform
{
  public:
    // Creates or empties %TEMP%\ambrel-fakes\<name> (characters that a file name cannot hold
    // become '_'), leaves an empty trace and no store or script (so every power call fails
    // with 2 and the counter cannot be added until they are written).
    bool Begin(const std::string& name);
    // Removes the three variables from the environment; the files stay for inspection.
    void End();

    // Windows path of the directory, without a trailing backslash.
    std::string directory;

    std::string PowerStorePath() const;
    std::string PdhScriptPath() const;
    std::string TracePath() const;

    void WritePowerStore(const std::string& text);
    std::string ReadPowerStore() const;
    // The usual store: both default schemes at 100/100, the balanced one active.
    void WriteDefaultPowerStore();
    // AC or DC value of a scheme's setting for efficiency class 0 or 1 as stored now; -1 when
    // the scheme (or its class-1 setting) is absent.
    int AcValue(const std::string& guid, int efficiencyClass = 0) const;
    int DcValue(const std::string& guid, int efficiencyClass = 0) const;
    // The active scheme as stored now; empty when none.
    std::string ActiveScheme() const;

    void WritePdhScript(const std::string& text);
    void AppendPdhScript(const std::string& line);

    // All trace lines, in order.
    std::vector<std::string> Trace() const;
    // The trace lines of one function (lines starting with the name and a space).
    std::vector<std::string> TraceOf(const std::string& function) const;
    // The function names of all trace lines, in order.
    std::vector<std::string> TraceFunctions() const;
    // The AC class-0 values written by PowerWriteACValueIndex, in order (failed writes included).
    std::vector<int> AcWrites() const;
    // The values one write function wrote into one setting (kThrottleMaximum or ...1), in order.
    std::vector<int> Writes(const std::string& function, const std::string& setting) const;
    // Empties the trace.
    void ClearTrace();

  private:
    std::vector<std::string> StoreLinesStartingWith(const std::string& prefix) const;
    int SchemeField(const std::string& guid, int field) const;
};

// The value of key=value in a trace line ("" when absent); the result after " -> " is "->".
std::string TraceField(const std::string& line, const std::string& key);

// %TEMP%\Ambrel.log, which LogPrint writes once OpenLogSinks(1, 0) has run.
std::string LogFilePath();
// Its lines without the line ends; ReadLogFileBytes keeps the file's bytes as they are.
std::vector<std::string> ReadLogFile();
std::string ReadLogFileBytes();
void DeleteLogFile();

// The whole file as bytes; "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// The same for a file that no fake writes (a process's own log): no lock is taken.
std::string ReadFileBytesWithoutLock(const std::string& path);
