#include "link/PipeMessage.h"

#include <cstring>

namespace
{

// Payload sizes: the status's numbers, its eight one-byte fields (the last three the cap's effect),
// and the zone (version 2: then the pause's seconds left); the history's count and its samples.
const size_t STATUS_V1_SIZE = PIPE_HEADER_SIZE + 5 * 4 + 8 + PIPE_ZONE_SIZE;
const size_t STATUS_SIZE = STATUS_V1_SIZE + 4;
const size_t SAMPLE_SIZE = 12;
const size_t HISTORY_FIXED_SIZE = PIPE_HEADER_SIZE + 4;
// The day's totals (episodes, seconds, peak, a flag padded to four) and count, then its minutes.
const size_t DAY_FIXED_SIZE = PIPE_HEADER_SIZE + 5 * 4;
const size_t DAY_MINUTE_SIZE = 8;
// A day has at most 25 hours (when daylight saving time ends), and a report every 2 s.
const uint32_t MOST_LOWERED_SECONDS = 25 * 3600;
const uint32_t MOST_EPISODES = 25 * 1800;

// The lowest temperature that can be sent (no reading) and a generous highest.
const int32_t LOWEST_CELSIUS = -273;
const int32_t HIGHEST_CELSIUS = 500;
const int32_t HIGHEST_STATUS = 2;
const uint8_t ALL_SET_BITS = 31;

class Writer
{
  public:
    explicit Writer(uint8_t* at) : p(at) {}
    void U8(uint8_t v) { *p++ = v; }
    void U16(uint16_t v)
    {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void Bytes(const void* v, size_t n)
    {
        std::memcpy(p, v, n);
        p += n;
    }

  private:
    uint8_t* p;
};

class Reader
{
  public:
    explicit Reader(const uint8_t* at) : p(at) {}
    uint8_t U8() { return *p++; }
    uint16_t U16()
    {
        uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32()
    {
        uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int16_t I16() { return static_cast<int16_t>(U16()); }
    void Bytes(void* v, size_t n)
    {
        std::memcpy(v, p, n);
        p += n;
    }

  private:
    const uint8_t* p;
};

void WriteHeader(Writer& w, size_t size, uint16_t kind)
{
    w.U32(static_cast<uint32_t>(size));
    w.U16(kind);
    w.U16(PIPE_VERSION);
}

bool InRange(int32_t value, int32_t lowest, int32_t highest)
{
    return value >= lowest && value <= highest;
}

bool IsFlag(uint8_t value)
{
    return value <= 1;
}

// Terminated within its field, and printable ASCII before the zero.
bool IsZoneName(const char* zone)
{
    for (size_t i = 0; i < PIPE_ZONE_SIZE; ++i) {
        if (zone[i] == '\0')
            return true;
        if (zone[i] < 0x20 || zone[i] > 0x7e)
            return false;
    }
    return false;
}

// Version 1 knows no pause.
int32_t HighestMode(uint16_t version)
{
    return version >= 2 ? PIPE_PAUSED_MODE : 2;
}

// The header's version, or 0 for one that this side does not take.
uint16_t VersionOf(const uint8_t* message)
{
    const uint16_t version = static_cast<uint16_t>(message[6] | (message[7] << 8));
    return version >= PIPE_OLDEST_VERSION && version <= PIPE_VERSION ? version : 0;
}

bool IsReading(int32_t temperature, int32_t mode, int32_t status, uint16_t version)
{
    return InRange(temperature, LOWEST_CELSIUS, HIGHEST_CELSIUS) &&
           InRange(mode, 0, HighestMode(version)) && InRange(status, 0, HIGHEST_STATUS);
}

// The encoder sends only what the decoder takes: a viewer drops a connection that brings a value
// out of range, and would come back for the same at once. A broken sensor's reading far beyond
// the range, or a zone name with bytes a view does not show, go out as the nearest value that
// can be sent.
int32_t Clamped(int32_t value, int32_t lowest, int32_t highest)
{
    return value < lowest ? lowest : value > highest ? highest : value;
}

uint8_t Below(uint8_t value, uint8_t limit)
{
    return value < limit ? value : static_cast<uint8_t>(limit - 1);
}

// Printable ASCII, each other byte as '?', cut to the field with its terminating zero.
void CopyZoneName(const char* zone, char (&out)[PIPE_ZONE_SIZE])
{
    size_t i = 0;
    for (; i < PIPE_ZONE_SIZE - 1 && zone[i] != '\0'; ++i)
        out[i] = zone[i] >= 0x20 && zone[i] <= 0x7e ? zone[i] : '?';
    std::memset(out + i, 0, PIPE_ZONE_SIZE - i);
}

bool SizeFitsList(size_t size, size_t fixed, size_t item, int capacity)
{
    return size >= fixed && size <= fixed + size_t(capacity) * item && (size - fixed) % item == 0;
}

// The size that a message of this kind must have, from what its fixed part says.
bool SizeFitsKind(uint16_t kind, uint16_t version, size_t size)
{
    if (kind == PIPE_KIND_STATUS)
        return size == (version == 1 ? STATUS_V1_SIZE : STATUS_SIZE);
    if (kind == PIPE_KIND_DAY)
        return SizeFitsList(size, DAY_FIXED_SIZE, DAY_MINUTE_SIZE, PIPE_DAY_CAPACITY);
    return size >= HISTORY_FIXED_SIZE &&
           size <= HISTORY_FIXED_SIZE + PIPE_HISTORY_CAPACITY * SAMPLE_SIZE &&
           (size - HISTORY_FIXED_SIZE) % SAMPLE_SIZE == 0;
}

// Version 1 has no day; a later version than this side's is not understood.
bool KnownKind(uint16_t kind, uint16_t version)
{
    if (version < PIPE_OLDEST_VERSION || version > PIPE_VERSION)
        return false;
    return kind == PIPE_KIND_STATUS || kind == PIPE_KIND_HISTORY ||
           (kind == PIPE_KIND_DAY && version >= 2);
}

bool IsDayMinute(const PipeDayMinute& m, uint16_t newerAgo)
{
    return m.ago < newerAgo && InRange(m.low, LOWEST_CELSIUS, HIGHEST_CELSIUS) &&
           InRange(m.high, m.low, HIGHEST_CELSIUS) && m.mode <= 2 && m.flags <= 3;
}

} // namespace

PipeFrame CheckPipeFrame(const uint8_t* bytes, size_t size, size_t& messageSize, uint16_t& kind)
{
    if (size < 4)
        return PipeFrame::Partial;
    Reader r(bytes);
    const uint32_t declared = r.U32();
    if (declared > PIPE_MAX_MESSAGE || declared < PIPE_HEADER_SIZE)
        return PipeFrame::Oversized;
    if (size < PIPE_HEADER_SIZE)
        return PipeFrame::Partial;
    kind = r.U16();
    const uint16_t version = r.U16();
    if (!KnownKind(kind, version) || !SizeFitsKind(kind, version, declared))
        return PipeFrame::Unknown;
    if (size < declared)
        return PipeFrame::Partial;
    messageSize = declared;
    return PipeFrame::Complete;
}

size_t EncodePipeStatus(const PipeStatus& status, uint8_t* out, size_t room)
{
    if (room < STATUS_SIZE)
        return 0;
    const uint16_t performance =
        status.performance < PIPE_MOST_PERFORMANCE ? status.performance : PIPE_MOST_PERFORMANCE;
    Writer w(out);
    WriteHeader(w, STATUS_SIZE, PIPE_KIND_STATUS);
    w.I32(Clamped(status.temperature, LOWEST_CELSIUS, HIGHEST_CELSIUS));
    w.I32(Clamped(status.mode, 0, PIPE_PAUSED_MODE));
    w.I32(Clamped(status.status, 0, HIGHEST_STATUS));
    w.I32(Clamped(status.inForce, 0, 100));
    w.I32(Clamped(status.throttleAt, 1, HIGHEST_CELSIUS));
    const uint8_t small[8] = {status.lowered,
                              status.onBattery,
                              static_cast<uint8_t>(status.setBy & ALL_SET_BITS),
                              Below(status.failedHour, 24),
                              Below(status.failedMinute, 60),
                              status.effect <= PIPE_EFFECT_UNAVAILABLE ? status.effect
                                                                       : PIPE_EFFECT_UNKNOWN,
                              static_cast<uint8_t>(performance),
                              static_cast<uint8_t>(performance >> 8)};
    w.Bytes(small, sizeof small);
    char zone[PIPE_ZONE_SIZE];
    CopyZoneName(status.zone, zone);
    w.Bytes(zone, PIPE_ZONE_SIZE);
    w.U32(status.pausedSeconds < PIPE_LONGEST_PAUSE_SECONDS ? status.pausedSeconds
                                                            : PIPE_LONGEST_PAUSE_SECONDS);
    return STATUS_SIZE;
}

size_t EncodePipeHistory(const PipeHistory& history, uint8_t* out, size_t room)
{
    if (history.count < 0 || history.count > PIPE_HISTORY_CAPACITY)
        return 0;
    const size_t size = HISTORY_FIXED_SIZE + static_cast<size_t>(history.count) * SAMPLE_SIZE;
    if (room < size)
        return 0;
    Writer w(out);
    WriteHeader(w, size, PIPE_KIND_HISTORY);
    w.U32(static_cast<uint32_t>(history.count));
    for (int i = 0; i < history.count; ++i) {
        const PipeSample& s = history.samples[i];
        w.U32(s.ageMs);
        w.I32(Clamped(s.value, LOWEST_CELSIUS, HIGHEST_CELSIUS));
        w.I16(static_cast<int16_t>(Clamped(s.mode, 0, PIPE_PAUSED_MODE)));
        w.I16(static_cast<int16_t>(Clamped(s.status, 0, HIGHEST_STATUS)));
    }
    return size;
}

// Minutes out of order (each must be newer than the one before it) are left out, values out of
// range go out as the nearest that can be sent: what goes out is what the decoder takes.
size_t EncodePipeDay(const PipeDay& day, uint8_t* out, size_t room)
{
    if (day.count < 0 || day.count > PIPE_DAY_CAPACITY ||
        room < DAY_FIXED_SIZE + static_cast<size_t>(day.count) * DAY_MINUTE_SIZE)
        return 0;
    Writer w(out + DAY_FIXED_SIZE);
    uint32_t sent = 0;
    uint16_t olderAgo = PIPE_DAY_CAPACITY;
    for (int i = 0; i < day.count; ++i) {
        const PipeDayMinute& m = day.minutes[i];
        if (m.ago >= olderAgo)
            continue;
        olderAgo = m.ago;
        const int32_t low = Clamped(m.low, LOWEST_CELSIUS, HIGHEST_CELSIUS);
        w.U16(m.ago);
        w.I16(static_cast<int16_t>(low));
        w.I16(static_cast<int16_t>(Clamped(m.high, low, HIGHEST_CELSIUS)));
        w.U8(m.mode <= 2 ? m.mode : 2);
        w.U8(m.flags & 3);
        ++sent;
    }
    const size_t size = DAY_FIXED_SIZE + sent * DAY_MINUTE_SIZE;
    Writer head(out);
    WriteHeader(head, size, PIPE_KIND_DAY);
    head.U32(day.episodes < MOST_EPISODES ? day.episodes : MOST_EPISODES);
    head.U32(day.loweredSeconds < MOST_LOWERED_SECONDS ? day.loweredSeconds : MOST_LOWERED_SECONDS);
    head.I32(Clamped(day.peak, LOWEST_CELSIUS, HIGHEST_CELSIUS));
    head.U32(day.loweredNow ? 1 : 0);
    head.U32(sent);
    return size;
}

bool DecodePipeStatus(const uint8_t* message, size_t size, PipeStatus& out)
{
    if (size < PIPE_HEADER_SIZE)
        return false;
    const uint16_t version = VersionOf(message);
    if (version == 0 || size != (version == 1 ? STATUS_V1_SIZE : STATUS_SIZE))
        return false;
    Reader r(message + PIPE_HEADER_SIZE);
    out.temperature = r.I32();
    out.mode = r.I32();
    out.status = r.I32();
    out.inForce = r.I32();
    out.throttleAt = r.I32();
    uint8_t small[8];
    r.Bytes(small, sizeof small);
    r.Bytes(out.zone, PIPE_ZONE_SIZE);
    out.pausedSeconds = version == 1 ? 0 : r.U32();
    out.lowered = small[0] != 0;
    out.onBattery = small[1] != 0;
    out.setBy = small[2];
    out.failedHour = small[3];
    out.failedMinute = small[4];
    out.effect = small[5];
    out.performance = static_cast<uint16_t>(small[6] | (small[7] << 8));
    return out.effect <= PIPE_EFFECT_UNAVAILABLE && out.performance <= PIPE_MOST_PERFORMANCE &&
           IsReading(out.temperature, out.mode, out.status, version) &&
           out.pausedSeconds <= PIPE_LONGEST_PAUSE_SECONDS && InRange(out.inForce, 0, 100) &&
           InRange(out.throttleAt, 1, HIGHEST_CELSIUS) && IsFlag(small[0]) && IsFlag(small[1]) &&
           out.setBy <= ALL_SET_BITS && out.failedHour < 24 && out.failedMinute < 60 &&
           IsZoneName(out.zone);
}

bool DecodePipeHistory(const uint8_t* message, size_t size, PipeHistory& out)
{
    if (size < HISTORY_FIXED_SIZE)
        return false;
    const uint16_t version = VersionOf(message);
    if (version == 0)
        return false;
    Reader r(message + PIPE_HEADER_SIZE);
    const uint32_t count = r.U32();
    if (count > static_cast<uint32_t>(PIPE_HISTORY_CAPACITY) ||
        size != HISTORY_FIXED_SIZE + count * SAMPLE_SIZE)
        return false;
    out.count = static_cast<int>(count);
    for (int i = 0; i < out.count; ++i) {
        PipeSample& s = out.samples[i];
        s.ageMs = r.U32();
        s.value = r.I32();
        s.mode = r.I16();
        s.status = r.I16();
        // A processor-performance sample is a percentage, a reading a temperature: both fit.
        if (!IsReading(s.value, s.mode, s.status, version))
            return false;
    }
    return true;
}

bool DecodePipeDay(const uint8_t* message, size_t size, PipeDay& out)
{
    if (size < DAY_FIXED_SIZE)
        return false;
    Reader r(message + PIPE_HEADER_SIZE);
    out.episodes = r.U32();
    out.loweredSeconds = r.U32();
    out.peak = r.I32();
    const uint32_t loweredNow = r.U32();
    const uint32_t count = r.U32();
    if (count > static_cast<uint32_t>(PIPE_DAY_CAPACITY) ||
        size != DAY_FIXED_SIZE + count * DAY_MINUTE_SIZE || out.episodes > MOST_EPISODES ||
        out.loweredSeconds > MOST_LOWERED_SECONDS ||
        !InRange(out.peak, LOWEST_CELSIUS, HIGHEST_CELSIUS) || loweredNow > 1)
        return false;
    out.loweredNow = loweredNow != 0;
    out.count = static_cast<int>(count);
    uint16_t olderAgo = PIPE_DAY_CAPACITY;
    for (int i = 0; i < out.count; ++i) {
        PipeDayMinute& m = out.minutes[i];
        m.ago = r.U16();
        m.low = r.I16();
        m.high = r.I16();
        m.mode = r.U8();
        m.flags = r.U8();
        // Oldest first: each minute newer than the one before it.
        if (!IsDayMinute(m, olderAgo))
            return false;
        olderAgo = m.ago;
    }
    return true;
}

bool IsMachineService(uint8_t setBy, PipeServerSession session)
{
    return (setBy & PIPE_SET_FOR_MACHINE) != 0 && session != PipeServerSession::Other;
}
