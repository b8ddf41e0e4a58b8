#include "base/HistoryCodec.h"

#include <cstring>

namespace
{

const uint8_t MAGIC[4] = {'A', 'M', 'B', 'H'};

class Writer
{
  public:
    uint8_t* at;

    void U16(uint32_t value)
    {
        at[0] = static_cast<uint8_t>(value);
        at[1] = static_cast<uint8_t>(value >> 8);
        at += 2;
    }
    void U32(uint32_t value)
    {
        U16(value & 0xFFFF);
        U16(value >> 16);
    }
};

class Reader
{
  public:
    const uint8_t* at;

    uint16_t U16()
    {
        const uint16_t value = static_cast<uint16_t>(at[0] | (at[1] << 8));
        at += 2;
        return value;
    }
    uint32_t U32()
    {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
};

bool MinuteIsSound(const WeekMinute& minute)
{
    if ((minute.flags & ~MINUTE_FLAGS) != 0 || minute.unused != 0)
        return false;
    if ((minute.flags & MINUTE_RAN) == 0)
        return minute.flags == 0 && minute.low == 0 && minute.high == 0 && minute.mode == 0 &&
               minute.cap == 0;
    if ((minute.flags & MINUTE_READING) == 0 && (minute.low != 0 || minute.high != 0))
        return false;
    return minute.mode <= 2 && minute.cap <= 100 && minute.low <= minute.high;
}

bool DayIsSound(const YearDay& day, int slot)
{
    if (day.day == 0)
        return day.peak == 0 && day.minutesRun == 0 && day.timesLowered == 0 &&
               day.minutesLowered == 0 && day.minutesPaused == 0;
    return day.day > 0 && day.day % KEPT_DAYS == slot && day.minutesRun <= MINUTES_A_DAY &&
           day.minutesLowered <= day.minutesRun && day.minutesPaused <= day.minutesRun;
}

} // namespace

uint32_t HistoryCrc32(const uint8_t* bytes, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

size_t EncodeHistory(const HistoryStore& store, uint8_t* out, size_t room)
{
    if (out == nullptr || room < HISTORY_ENCODED_SIZE)
        return 0;
    Writer writer = {out + HISTORY_HEADER_SIZE};
    writer.U32(static_cast<uint32_t>(store.newestMinute));
    for (int i = 0; i < WEEK_MINUTES; ++i) {
        const int32_t at = store.newestMinute - WEEK_MINUTES + 1 + i;
        const WeekMinute* minute = store.MinuteAt(at);
        const WeekMinute empty = {};
        const WeekMinute& entry = minute != nullptr ? *minute : empty;
        writer.U16(static_cast<uint16_t>(entry.low));
        writer.U16(static_cast<uint16_t>(entry.high));
        writer.at[0] = entry.mode;
        writer.at[1] = entry.cap;
        writer.at[2] = entry.flags;
        writer.at[3] = 0;
        writer.at += 4;
    }
    for (int i = 0; i < KEPT_DAYS; ++i) {
        const YearDay& day = store.days[i];
        writer.U32(static_cast<uint32_t>(day.day));
        writer.U16(static_cast<uint16_t>(day.peak));
        writer.U16(day.minutesRun);
        writer.U16(day.timesLowered);
        writer.U16(day.minutesLowered);
        writer.U16(day.minutesPaused);
    }
    const size_t payload = HISTORY_ENCODED_SIZE - HISTORY_HEADER_SIZE;
    Writer header = {out};
    std::memcpy(header.at, MAGIC, sizeof MAGIC);
    header.at += sizeof MAGIC;
    header.U16(HISTORY_FORMAT_VERSION);
    header.U16(HISTORY_HEADER_SIZE);
    header.U32(static_cast<uint32_t>(payload));
    header.U32(HistoryCrc32(out + HISTORY_HEADER_SIZE, payload));
    return HISTORY_ENCODED_SIZE;
}

HistoryDecode DecodeHistory(const uint8_t* bytes, size_t size, HistoryStore& out)
{
    out.Clear();
    if (bytes == nullptr || size < sizeof MAGIC)
        return HistoryDecode::WrongSize;
    if (std::memcmp(bytes, MAGIC, sizeof MAGIC) != 0)
        return HistoryDecode::NotHistory;
    if (size < HISTORY_HEADER_SIZE)
        return HistoryDecode::WrongSize;
    Reader header = {bytes + sizeof MAGIC};
    const uint16_t version = header.U16();
    const uint16_t headerSize = header.U16();
    const uint32_t payload = header.U32();
    const uint32_t crc = header.U32();
    if (version != HISTORY_FORMAT_VERSION)
        return HistoryDecode::OtherVersion;
    if (headerSize != HISTORY_HEADER_SIZE || payload != HISTORY_ENCODED_SIZE - headerSize ||
        size != HISTORY_ENCODED_SIZE)
        return HistoryDecode::WrongSize;
    if (HistoryCrc32(bytes + headerSize, payload) != crc)
        return HistoryDecode::WrongChecksum;

    Reader reader = {bytes + headerSize};
    const int32_t newest = static_cast<int32_t>(reader.U32());
    if (newest < 0 || (newest > 0 && newest < WEEK_MINUTES))
        return HistoryDecode::BadValue;
    out.newestMinute = newest;
    for (int i = 0; i < WEEK_MINUTES; ++i) {
        WeekMinute minute = {};
        minute.low = static_cast<int16_t>(reader.U16());
        minute.high = static_cast<int16_t>(reader.U16());
        minute.mode = reader.at[0];
        minute.cap = reader.at[1];
        minute.flags = reader.at[2];
        minute.unused = reader.at[3];
        reader.at += 4;
        if (!MinuteIsSound(minute) || (newest == 0 && minute.flags != 0)) {
            out.Clear();
            return HistoryDecode::BadValue;
        }
        if (newest != 0)
            out.minutes[(newest - WEEK_MINUTES + 1 + i) % WEEK_MINUTES] = minute;
    }
    for (int i = 0; i < KEPT_DAYS; ++i) {
        YearDay day = {};
        day.day = static_cast<int32_t>(reader.U32());
        day.peak = static_cast<int16_t>(reader.U16());
        day.minutesRun = reader.U16();
        day.timesLowered = reader.U16();
        day.minutesLowered = reader.U16();
        day.minutesPaused = reader.U16();
        if (!DayIsSound(day, i)) {
            out.Clear();
            return HistoryDecode::BadValue;
        }
        out.days[i] = day;
    }
    return HistoryDecode::Ok;
}

const char* HistoryDecodeText(HistoryDecode result)
{
    switch (result) {
    case HistoryDecode::Ok:
        return "read";
    case HistoryDecode::WrongSize:
        return "of the wrong size";
    case HistoryDecode::NotHistory:
        return "not a history";
    case HistoryDecode::OtherVersion:
        return "of another version";
    case HistoryDecode::WrongChecksum:
        return "with a wrong checksum";
    case HistoryDecode::BadValue:
        return "with a value out of range";
    }
    return "unreadable";
}
