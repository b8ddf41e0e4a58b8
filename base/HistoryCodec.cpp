#include "base/HistoryCodec.h"

#include <algorithm>
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

// Pulls the payload from its source through a small buffer, summing its checksum as it goes;
// once the source fails, every value reads as zero and failed says so.
class Reader
{
  public:
    Reader(HistorySource from, void* fromContext, size_t size)
        : source(from), context(fromContext), left(size)
    {
    }

    HistorySource source;
    void* context;
    // Payload bytes not yet pulled, and the checksum of those pulled (as HistoryCrc32 goes on).
    size_t left;
    uint32_t crc = 0;
    bool failed = false;

    uint16_t U16()
    {
        const uint8_t* at = Take(2);
        return static_cast<uint16_t>(at[0] | (at[1] << 8));
    }
    uint32_t U32()
    {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    const uint8_t* Take(size_t size)
    {
        if (end - start < size)
            Refill();
        if (failed || end - start < size) {
            failed = true;
            static const uint8_t zeros[4] = {};
            return zeros;
        }
        const uint8_t* at = buffer + start;
        start += size;
        return at;
    }
    // What is left of the payload, pulled only for its checksum.
    void Drain()
    {
        while (left > 0 && !failed) {
            start = end = 0;
            Refill();
        }
    }

  private:
    uint8_t buffer[512];
    size_t start = 0;
    size_t end = 0;

    void Refill()
    {
        std::memmove(buffer, buffer + start, end - start);
        end -= start;
        start = 0;
        const size_t size = std::min(left, sizeof buffer - end);
        if (size == 0)
            return;
        if (!source(context, buffer + end, size)) {
            failed = true;
            return;
        }
        crc = HistoryCrc32(buffer + end, size, crc);
        end += size;
        left -= size;
    }
};

struct MemorySource {
    const uint8_t* at;
};

bool FromMemory(void* context, uint8_t* out, size_t size)
{
    MemorySource& memory = *static_cast<MemorySource*>(context);
    std::memcpy(out, memory.at, size);
    memory.at += size;
    return true;
}

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

uint32_t HistoryCrc32(const uint8_t* bytes, size_t size, uint32_t previous)
{
    uint32_t crc = ~previous;
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
    if (bytes == nullptr)
        size = 0;
    uint8_t header[HISTORY_HEADER_SIZE] = {};
    if (size > 0)
        std::memcpy(header, bytes, std::min(size, HISTORY_HEADER_SIZE));
    MemorySource memory = {size > 0 ? bytes + std::min(size, HISTORY_HEADER_SIZE) : nullptr};
    return DecodeHistoryFrom(header, size, FromMemory, &memory, out);
}

// The values are checked as they come; the checksum is known only at the end, and a wrong one
// says more of the bytes than a value out of range does.
HistoryDecode DecodeHistoryFrom(const uint8_t* header, size_t size, HistorySource source,
                                void* context, HistoryStore& out)
{
    out.Clear();
    if (size < sizeof MAGIC)
        return HistoryDecode::WrongSize;
    if (std::memcmp(header, MAGIC, sizeof MAGIC) != 0)
        return HistoryDecode::NotHistory;
    if (size < HISTORY_HEADER_SIZE)
        return HistoryDecode::WrongSize;
    MemorySource memory = {header + sizeof MAGIC};
    Reader fields(FromMemory, &memory, HISTORY_HEADER_SIZE - sizeof MAGIC);
    const uint16_t version = fields.U16();
    const uint16_t headerSize = fields.U16();
    const uint32_t payload = fields.U32();
    const uint32_t crc = fields.U32();
    if (version != HISTORY_FORMAT_VERSION)
        return HistoryDecode::OtherVersion;
    if (headerSize != HISTORY_HEADER_SIZE || payload != HISTORY_ENCODED_SIZE - headerSize ||
        size != HISTORY_ENCODED_SIZE)
        return HistoryDecode::WrongSize;

    Reader reader(source, context, payload);
    const int32_t newest = static_cast<int32_t>(reader.U32());
    bool sound = newest >= 0 && (newest == 0 || newest >= WEEK_MINUTES);
    out.newestMinute = newest;
    for (int i = 0; i < WEEK_MINUTES && sound; ++i) {
        WeekMinute minute = {};
        minute.low = static_cast<int16_t>(reader.U16());
        minute.high = static_cast<int16_t>(reader.U16());
        const uint8_t* rest = reader.Take(4);
        minute.mode = rest[0];
        minute.cap = rest[1];
        minute.flags = rest[2];
        minute.unused = rest[3];
        sound = MinuteIsSound(minute) && (newest != 0 || minute.flags == 0);
        if (sound && newest != 0)
            out.minutes[(newest - WEEK_MINUTES + 1 + i) % WEEK_MINUTES] = minute;
    }
    for (int i = 0; i < KEPT_DAYS && sound; ++i) {
        YearDay day = {};
        day.day = static_cast<int32_t>(reader.U32());
        day.peak = static_cast<int16_t>(reader.U16());
        day.minutesRun = reader.U16();
        day.timesLowered = reader.U16();
        day.minutesLowered = reader.U16();
        day.minutesPaused = reader.U16();
        sound = DayIsSound(day, i);
        out.days[i] = day;
    }
    reader.Drain();
    const HistoryDecode result = reader.failed       ? HistoryDecode::WrongSize
                                 : reader.crc != crc ? HistoryDecode::WrongChecksum
                                 : !sound            ? HistoryDecode::BadValue
                                                     : HistoryDecode::Ok;
    if (result != HistoryDecode::Ok)
        out.Clear();
    return result;
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
