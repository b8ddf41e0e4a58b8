#include "PowerTestSupport.h"

#include "base/Log.h"

#include <regex>

namespace
{

// Starts the test process with an empty log file and the file sink on; the sink can only be
// opened once per process.
class LogFileEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        DeleteLogFile();
        OpenLogSinks(1, 0);
    }
};

::testing::Environment* const g_logEnvironment =
    ::testing::AddGlobalTestEnvironment(new LogFileEnvironment);

std::vector<std::string> SplitCrLf(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace

LogSince::LogSince() : mark(ReadLogFileBytes().size()) {}

std::string LogSince::Bytes() const
{
    std::string bytes = ReadLogFileBytes();
    return bytes.size() > mark ? bytes.substr(mark) : std::string();
}

std::vector<std::string> LogSince::Lines() const
{
    return SplitCrLf(Bytes());
}

std::string MessageOfLogLine(const std::string& line)
{
    static const std::regex entry(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d \d{4,} (.*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, entry)) {
        ADD_FAILURE() << "not a log entry: " << line;
        return std::string();
    }
    return match[1];
}

std::string TwoSchemeStore(const std::string& active, int balancedAc, const std::string& extra)
{
    return "active " + active + "\n" + "scheme " + kBalancedScheme + " " +
           std::to_string(balancedAc) + " 95 100 60\n" + "scheme " + kHighPerformanceScheme +
           " 100 85\n" + extra;
}

void BeginFakes(FakePlatform& fake)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    ASSERT_TRUE(fake.Begin(name)) << name;
}
