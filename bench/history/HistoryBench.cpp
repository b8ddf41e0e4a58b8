// The history kept across runs at its largest: a week of minutes, every one run, and 400 days.
// Prints the file's size, the CSV's sizes (a row a minute, a row a day) against the bounds the
// program allocates for them, the memory the store takes, and what recording a report, encoding
// the file, decoding it and composing the CSV cost. Asserts nothing about speed.
#include "base/HistoryCodec.h"
#include "base/HistoryCsv.h"
#include "base/HistoryStore.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

// Summer time in the second half of each day, so that both offsets are written.
int32_t Offset(int32_t utcMinute, void*)
{
    return utcMinute % (24 * 60) < 12 * 60 ? 60 : 120;
}

double MicrosecondsSince(std::chrono::steady_clock::time_point start, int times)
{
    const auto spent = std::chrono::steady_clock::now() - start;
    return std::chrono::duration<double, std::micro>(spent).count() / times;
}

} // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int repeats = quick ? 1 : 50;
    std::unique_ptr<HistoryStore> store(new HistoryStore());
    store->Clear();
    // 400 days, the last week of them minute by minute with a report every 2 s (the watcher's
    // interval; it reports changes only, so this is its most).
    const int64_t start = 13400000000000LL;
    const int64_t reports = int64_t(KEPT_DAYS) * 24 * 60 * 30;
    const auto recording = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < reports; ++i) {
        const int64_t at = start + i * 2000;
        const int32_t celsius = 45 + static_cast<int32_t>((i * 7919) % 60) - 10 * (i % 97 == 0);
        store->Record(at, at, 60,
                      {celsius, celsius >= 85 ? 2 : 0, celsius >= 85 ? 80 : 100, true,
                       celsius >= 85, i % 1000 < 30});
    }
    const double perReport = MicrosecondsSince(recording, static_cast<int>(reports));
    std::vector<uint8_t> bytes(HISTORY_ENCODED_SIZE);
    size_t encoded = 0;
    auto timing = std::chrono::steady_clock::now();
    for (int r = 0; r < repeats; ++r)
        encoded = EncodeHistory(*store, bytes.data(), bytes.size());
    const double encodeUs = MicrosecondsSince(timing, repeats);
    std::unique_ptr<HistoryStore> read(new HistoryStore());
    timing = std::chrono::steady_clock::now();
    HistoryDecode decoded = HistoryDecode::BadValue;
    for (int r = 0; r < repeats; ++r)
        decoded = DecodeHistory(bytes.data(), encoded, *read);
    const double decodeUs = MicrosecondsSince(timing, repeats);
    size_t sizes[2] = {0, 0};
    double composeUs[2] = {0, 0};
    for (int days = 0; days < 2; ++days) {
        HistoryCsvChoice choice = {days != 0, ";", Offset, nullptr};
        std::vector<char> text(HistoryCsvBound(days != 0));
        timing = std::chrono::steady_clock::now();
        for (int r = 0; r < repeats; ++r)
            sizes[days] = ComposeHistoryCsv(*read, choice, text.data(), text.size());
        composeUs[days] = MicrosecondsSince(timing, repeats);
    }
    std::printf("history kept at its largest: %d minutes run, %d days\n",
                HistoryCsvRows(*read, false), HistoryCsvRows(*read, true));
    std::printf("  store in memory            %zu bytes\n", sizeof(HistoryStore));
    std::printf("  file (history.dat)         %zu bytes (%s)\n", encoded,
                decoded == HistoryDecode::Ok ? "read back whole" : "NOT read back");
    std::printf("  CSV, a row a minute        %zu bytes (bound %zu)\n", sizes[0],
                HistoryCsvBound(false));
    std::printf("  CSV, a row a day           %zu bytes (bound %zu)\n", sizes[1],
                HistoryCsvBound(true));
    std::printf("  record one report          %.3f us\n", perReport);
    std::printf("  encode the file            %.1f us\n", encodeUs);
    std::printf("  decode the file            %.1f us\n", decodeUs);
    std::printf("  compose the minutes' CSV   %.1f us\n", composeUs[0]);
    std::printf("  compose the days' CSV      %.1f us\n", composeUs[1]);
    return decoded == HistoryDecode::Ok && sizes[0] > 0 && sizes[1] > 0 ? 0 : 1;
}
