// What a mode change costs: SchemeKeeper::Write of a new level into the active scheme, with its
// four values (class 0 and 1, AC and battery), the ledger entries noted and flushed to disk
// before the power writes and settled after them, and the activation. A second figure is one
// RegFlushKey of the ledger's key after one entry was written, the flush's own share. Runs
// against the fake powrprof.dll (its store in %TEMP%), so the power calls cost what the fake's
// file round trips cost, not what Windows' power service does. Nothing is asserted on time.
//
//   ambrel_mode_change_bench [--quick] [--changes N]
#include "base/ProgramKey.h"
#include "fakes/FakeControl.h"
#include "power/RestoreLedger.h"
#include "power/SchemeKeeper.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void Print(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times)
        sum += t;
    std::printf("%-44s median %8.0f us  mean %8.0f us  min %8.0f us  max %8.0f us  (%zu)\n", what,
                times[times.size() / 2], sum / static_cast<double>(times.size()), times.front(),
                times.back(), times.size());
}

} // namespace

int main(int argc, char** argv)
{
    int changes = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            changes = 10;
        else if (std::strcmp(argv[i], "--changes") == 0 && i + 1 < argc)
            changes = std::atoi(argv[++i]);
    }
    if (changes <= 0) {
        std::fprintf(stderr, "usage: ambrel_mode_change_bench [--quick] [--changes N]\n");
        return 2;
    }
    FakePlatform fake;
    if (!fake.Begin("mode-change-bench"))
        return 1;
    // A hybrid processor's scheme: every value written at each change.
    fake.WritePowerStore(std::string("active ") + kBalancedScheme + "\nscheme " + kBalancedScheme +
                         " 100 100 100 100\n");
    RegDeleteKeyA(HKEY_CURRENT_USER, RESTORE_LEDGER_KEY_PATH);

    SchemeKeeper keeper{};
    keeper.onBattery = true;
    uint32_t saved = 0;
    keeper.Start(saved);
    std::vector<double> writes;
    for (int i = 0; i < changes; ++i) {
        Clock::time_point start = Clock::now();
        keeper.Write(i % 2 == 0 ? 80 : 99);
        writes.push_back(MicrosecondsSince(start));
    }

    LedgerEntry entry = keeper.entries[0];
    std::vector<double> flushes;
    for (int i = 0; i < changes; ++i) {
        entry.written = i % 2 == 0 ? 80 : 99;
        keeper.ledger.Put(entry);
        Clock::time_point start = Clock::now();
        keeper.ledger.key.Flush();
        flushes.push_back(MicrosecondsSince(start));
    }
    keeper.RestoreAll();
    fake.End();

    std::printf("mode changes: %d, four values each; the ledger's key flushed once per change\n",
                changes);
    Print("mode change (SchemeKeeper::Write)", writes);
    Print("RegFlushKey of the ledger after one entry", flushes);
    return 0;
}
