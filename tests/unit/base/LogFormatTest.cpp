#include "base/LogFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

std::string Entry(const LogStamp& stamp, const char* format, ...)
{
    char composed[LOG_BUFFER_SIZE];
    char entry[LOG_BUFFER_SIZE];
    ComposeLogFormat(composed, sizeof composed, stamp, format);
    va_list args;
    va_start(args, format);
    FormatLogEntry(entry, sizeof entry, composed, args);
    va_end(args);
    return entry;
}

const LogStamp kStamp = {2026, 12, 6, 4, 15, 1, 42, 332};

} // namespace

TEST(LogFormat, EntryHasDateTimeAndThreadPrefix)
{
    EXPECT_EQ("26/12/06 04:15:01.042 0332 watch start\n", Entry(kStamp, "watch start\n"));
    LogStamp y2k = {2000, 1, 2, 23, 59, 59, 999, 123456};
    EXPECT_EQ("00/01/02 23:59:59.999 123456 x", Entry(y2k, "x"));
}

TEST(LogFormat, CallerConversionsSurviveComposition)
{
    EXPECT_EQ("26/12/06 04:15:01.042 0332 temp monitor:   mode=1, vec=-1, count=2, temp=79\n",
              Entry(kStamp, "temp monitor:   mode=%d, vec=%d, count=%d, temp=%d\n", 1, -1, 2, 79));
    EXPECT_EQ("26/12/06 04:15:01.042 0332 100% done", Entry(kStamp, "100%% done"));
    EXPECT_EQ("26/12/06 04:15:01.042 0332 PowerSetActiveScheme() error=57",
              Entry(kStamp, "PowerSetActiveScheme() error=%x", 0x57));
}

// A caller text longer than the buffer is cut; the cut never leaves half a conversion behind
// (which vsnprintf would misread) and never writes past the buffer.
TEST(LogFormat, OverlongFormatIsCutToWholeConversions)
{
    const size_t prefix = std::strlen("26/12/06 04:15:01.042 0332 ");
    const size_t room = LOG_BUFFER_SIZE - 1 - prefix;
    struct Row {
        std::string tail; // placed so that it straddles the end of the buffer
        std::string expectedEnd;
    } rows[] = {
        {"%d", "x"},     {"%5.2f", "x"}, {"%ld", "x"},   {"%%", "x"},
        {"%-08lX", "x"}, {"%s", "x"},    {"%I64d", "x"}, {"ab", "xa"},
    };
    for (const Row& row : rows) {
        // The buffer ends one character after the tail's first character.
        std::string format(room - 1, 'x');
        format += row.tail;
        format += std::string(50, 'y');
        char composed[LOG_BUFFER_SIZE + 16];
        std::memset(composed, '#', sizeof composed);
        ComposeLogFormat(composed, LOG_BUFFER_SIZE, kStamp, format.c_str());
        std::string text(composed);
        EXPECT_LE(text.size(), LOG_BUFFER_SIZE - 1) << row.tail;
        EXPECT_EQ('#', composed[LOG_BUFFER_SIZE]) << row.tail;
        EXPECT_EQ(row.expectedEnd, text.substr(text.size() - row.expectedEnd.size())) << row.tail;
        EXPECT_EQ(std::string::npos, text.find('%')) << row.tail;
    }
}

TEST(LogFormat, OverlongEntryIsCutAndTerminated)
{
    std::string big(5000, 'z');
    std::string entry = Entry(kStamp, "%s|", big.c_str());
    EXPECT_EQ(LOG_BUFFER_SIZE - 1, entry.size());
    EXPECT_EQ(std::string::npos, entry.find('|'));
}

TEST(LogFormat, LogFileNameIsAppendedOnlyWhenItFits)
{
    char path[32] = "C:\\Temp\\";
    ASSERT_TRUE(AppendToPath(path, sizeof path, "Ambrel.log"));
    EXPECT_STREQ("C:\\Temp\\Ambrel.log", path);

    char exact[19] = "C:\\Temp\\";
    EXPECT_TRUE(AppendToPath(exact, sizeof exact, "Ambrel.log"));
    char tooSmall[18] = "C:\\Temp\\";
    EXPECT_FALSE(AppendToPath(tooSmall, sizeof tooSmall, "Ambrel.log"));
    EXPECT_STREQ("C:\\Temp\\", tooSmall);
}
