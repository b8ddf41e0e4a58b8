// The tick: what one reading costs on the platform-free path (scheme check, conversion,
// controller, change test), without the platform calls around it. Runs N readings, steady or
// switching, and prints the allocations made during the ticks and the time per reading.
// bench/tick.sh runs it under callgrind to count the instructions per reading.
//
//   tick_bench steady|switching N
#include "base/Log.h"
#include "bench/tick/TickLoop.h"
#include "power/PowerSetting.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// --- allocation counters: every operator new and delete of the process goes through here ----

namespace
{
long g_news;
long g_deletes;

void* CountedAllocate(std::size_t size)
{
    ++g_news;
    return std::malloc(size != 0 ? size : 1);
}

void CountedRelease(void* block)
{
    if (block != nullptr)
        ++g_deletes;
    std::free(block);
}

} // namespace

void* operator new(std::size_t size)
{
    void* block = CountedAllocate(size);
    if (block == nullptr)
        std::abort(); // no exceptions in this build; running out of memory ends the benchmark
    return block;
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return CountedAllocate(size);
}

void operator delete(void* block) noexcept
{
    CountedRelease(block);
}

void operator delete[](void* block) noexcept
{
    CountedRelease(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    CountedRelease(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    CountedRelease(block);
}

// --- stand-ins for the platform functions the core calls -------------------------------------

namespace
{
// Set by OpenLogSinks, as in the program; both zero here, so LogPrint returns at once.
int g_fileSwitch;
int g_consoleSwitch;
// The simulated AC maximum processor state and the number of writes to it.
uint32_t g_throttleMax = 100;
long g_powerWrites;
} // namespace

void OpenLogSinks(int fileSwitch, int consoleSwitch)
{
    g_fileSwitch = fileSwitch;
    g_consoleSwitch = consoleSwitch;
}

// The program's LogPrint with both switches off: the two tests, then return.
void LogPrint(const char* format, ...)
{
    if (!g_fileSwitch && !g_consoleSwitch)
        return;
    std::fputs(format, stderr);
}

namespace
{

// The simulated setting the controller writes into, in place of the scheme keeper.
class BenchSetting : public ThrottleSetting
{
  public:
    bool Write(uint32_t value) override
    {
        g_throttleMax = value;
        ++g_powerWrites;
        return true;
    }
    bool Read(uint32_t& value) override
    {
        value = g_throttleMax;
        return true;
    }
    bool Lowered() const override { return g_throttleMax < 100; }
};

} // namespace

// The active scheme never changes here: the check per reading always finds the one in force.
uint32_t ReadActiveScheme(SchemeId& scheme)
{
    scheme = SchemeId{};
    return 0;
}

// --- the benchmark ---------------------------------------------------------------------------

namespace
{

int64_t CounterOf(int celsius)
{
    return int64_t(celsius) * 10 + 2732;
}

// Steady: 50 °C throughout, nothing changes after the first reading.
// Switching: eight hot readings (86-93 °C) then eight cool ones (72-79 °C), over and over; with
// the four-reading debounce the mode steps 0-1-2-1-0 every 16 readings and every reading
// changes the temperature shown, so every path of the controller and the change test is taken.
std::vector<int64_t> Readings(bool switching, size_t count)
{
    std::vector<int64_t> readings(count);
    for (size_t i = 0; i < count; ++i) {
        int step = static_cast<int>(i % 16);
        int celsius = !switching ? 50 : step < 8 ? 86 + step : 72 + step - 8;
        readings[i] = CounterOf(celsius);
    }
    return readings;
}

long HeapBytesInUse()
{
#if defined(__GLIBC__)
    struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

int Usage()
{
    std::fprintf(stderr, "usage: tick_bench steady|switching N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Usage();
    bool switching = std::strcmp(argv[1], "switching") == 0;
    if (!switching && std::strcmp(argv[1], "steady") != 0)
        return Usage();
    long count = std::strtol(argv[2], nullptr, 10);
    if (count <= 0)
        return Usage();

    OpenLogSinks(0, 0);
    std::vector<int64_t> readings = Readings(switching, static_cast<size_t>(count));
    TickState state = {};
    BenchSetting setting;
    state.ambrel.setting = &setting;
    // The readings vector came through the counted operator new: the counters are live.
    std::printf("tick %s: %ld readings (prepared with %ld operator new)\n", argv[1], count, g_news);

    long heapBefore = HeapBytesInUse();
    long newsBefore = g_news;
    long deletesBefore = g_deletes;
    auto started = std::chrono::steady_clock::now();
    RunTicks(state, readings.data(), readings.size());
    auto elapsed = std::chrono::steady_clock::now() - started;
    long news = g_news - newsBefore;
    long deletes = g_deletes - deletesBefore;
    long heapAfter = HeapBytesInUse();

    double nanoseconds = std::chrono::duration<double, std::nano>(elapsed).count();
    std::printf("mode changes (power writes): %ld, reports posted: %ld, final mode %d\n",
                g_powerWrites, state.posts, state.ambrel.mode);
    std::printf("allocations during the ticks: %ld operator new, %ld operator delete\n", news,
                deletes);
    std::printf("heap in use (mallinfo2) before %ld bytes, after %ld bytes, change %ld\n",
                heapBefore, heapAfter, heapAfter - heapBefore);
    std::printf("time per reading: %.1f ns\n", nanoseconds / static_cast<double>(count));
    return 0;
}
