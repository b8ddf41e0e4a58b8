// The history's bytes, as its file holds them and the status pipe carries them: a header of 16
// bytes (the magic "AMBH", the format's version, the header's size, the payload's size and the
// payload's CRC-32), then the newest minute, the week's minutes oldest first and the days in
// their slots, all little-endian. Platform-free; nothing read is believed before it is checked.
#pragma once

#include "base/HistoryStore.h"

#include <cstddef>
#include <cstdint>

const uint16_t HISTORY_FORMAT_VERSION = 1;
const size_t HISTORY_HEADER_SIZE = 16;
const size_t HISTORY_MINUTE_SIZE = 8;
const size_t HISTORY_DAY_SIZE = 14;
// The whole of version 1: 16 + 4 + 10080 * 8 + 400 * 14 = 86260 bytes.
const size_t HISTORY_ENCODED_SIZE =
    HISTORY_HEADER_SIZE + 4 + WEEK_MINUTES * HISTORY_MINUTE_SIZE + KEPT_DAYS * HISTORY_DAY_SIZE;

enum class HistoryDecode {
    Ok,
    // Fewer or more bytes than the header and the version say.
    WrongSize,
    // Not the magic: not a history at all.
    NotHistory,
    // A version this side does not read.
    OtherVersion,
    WrongChecksum,
    // A value out of its range: a mode above 2, a day in another day's slot, ...
    BadValue,
};

// Writes store into out (room bytes); its size, or 0 when room is too small.
size_t EncodeHistory(const HistoryStore& store, uint8_t* out, size_t room);
// Reads size bytes into out, which is cleared first and left clear unless the result is Ok.
HistoryDecode DecodeHistory(const uint8_t* bytes, size_t size, HistoryStore& out);
// Fills out with the next size bytes of a history being read; false when they cannot be had.
typedef bool (*HistorySource)(void* context, uint8_t* out, size_t size);
// The same for a history of size bytes in all that does not lie in memory whole (a file read
// through a small buffer): its first HISTORY_HEADER_SIZE bytes are in header (as many as size
// has), and source gives the rest in order. A source that fails reads as WrongSize.
HistoryDecode DecodeHistoryFrom(const uint8_t* header, size_t size, HistorySource source,
                                void* context, HistoryStore& out);
// What the result says, for a log line.
const char* HistoryDecodeText(HistoryDecode result);

// CRC-32 (the polynomial of zip and PNG) of size bytes; with previous, of the bytes that came
// before them too (previous: their CRC-32).
uint32_t HistoryCrc32(const uint8_t* bytes, size_t size, uint32_t previous = 0);
