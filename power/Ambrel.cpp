#include "power/Ambrel.h"

#include "base/Log.h"

uint32_t ThrottlePercentOfMode(int mode)
{
    switch (mode) {
    case 0:
        return 100;
    case 1:
        return 99; // one below full: the processor keeps running but loses its boost
    case 2:
        return 80;
    default:
        return 0;
    }
}

// While paused a reading is logged and counts towards nothing: a hot machine stays uncapped.
void Ambrel::OnTemperature(int t)
{
    if (Paused()) {
        count = 0;
        vec = 0;
    } else if (t >= UpperThreshold()) {
        if (mode < AMBREL_HIGHEST_MODE)
            CountTowards(+1);
    } else if (t >= LowerThreshold()) {
        count = 0;
        vec = 0;
    } else if (mode > 0) {
        CountTowards(-1);
    }
    LogTick(t);
}

void Ambrel::OnNoReading(int shown)
{
    LogTick(shown);
}

void Ambrel::SetThrottleAt(int upper)
{
    if (upper == UpperThreshold())
        return;
    throttleAt = upper;
    count = 0;
    vec = 0;
}

int Ambrel::UpperThreshold() const
{
    return throttleAt != 0 ? throttleAt : AMBREL_UPPER_THRESHOLD;
}

bool Ambrel::Engaged() const
{
    return mode != 0;
}

int Ambrel::LowerThreshold() const
{
    return UpperThreshold() - AMBREL_BAND_WIDTH;
}

void Ambrel::LogTick(int t) const
{
    LogPrint("temp monitor:   mode=%d, vec=%d, count=%d, temp=%d\n", mode, vec, count, t);
}

// A reading that asks for a step: continues the run in its direction or starts a new one.
void Ambrel::CountTowards(int wanted)
{
    if (vec != wanted) {
        vec = wanted;
        count = 1;
        return;
    }
    if (++count < AMBREL_READINGS_PER_STEP)
        return;
    mode += vec;
    count = 0;
    vec = 0;
    SetPowerMode();
}

void Ambrel::SetPowerMode()
{
    uint32_t percent = ThrottlePercentOfMode(mode);
    if (percent == 0) {
        LogPrint("Ambrel.SetPowerMode() mode error %d\n", mode);
        return;
    }
    if (setting == nullptr)
        return;
    setting->Write(percent);
    lowered = setting->Lowered();
    // Logs what the platform holds after the write, which is not always what was asked for:
    // a user's own value below the level stays, and a write may fail.
    setting->Read(percent);
    inForce = percent;
    LogPrint("power setting changed: throttle max=%d\n", static_cast<int>(percent));
}

PauseVerdict JudgePause(bool forbidden, long long minutes)
{
    if (minutes < 0 || minutes > AMBREL_LONGEST_PAUSE_MINUTES)
        return PauseVerdict::OutOfRange;
    return forbidden && minutes > 0 ? PauseVerdict::Forbidden : PauseVerdict::Allowed;
}

bool Ambrel::Pause(uint64_t nowMs, uint64_t forMs)
{
    const uint64_t longest = static_cast<uint64_t>(AMBREL_LONGEST_PAUSE_MINUTES) * 60 * 1000;
    if (pauseForbidden) {
        LogPrint("Ambrel.Pause() forbidden by policy\n");
        return false;
    }
    if (forMs == 0 || forMs > longest)
        return false;
    // 0 stands for no pause: a clock at 0 still ends its pause on time.
    pausedUntil = nowMs + forMs;
    count = 0;
    vec = 0;
    LogPrint("Ambrel.Pause() for %d min\n", static_cast<int>(forMs / 60000));
    if (mode == 0)
        return true; // the user's own values are in force already
    mode = 0;
    SetPowerMode();
    return true;
}

bool Ambrel::Resume()
{
    if (!Paused())
        return false;
    pausedUntil = 0;
    count = 0;
    vec = 0;
    LogPrint("Ambrel.Resume()\n");
    return true;
}

bool Ambrel::OnClock(uint64_t nowMs)
{
    if (!Paused() || nowMs < pausedUntil)
        return false;
    LogPrint("Ambrel: the pause is over\n");
    return Resume();
}

bool Ambrel::Paused() const
{
    return pausedUntil != 0;
}

int Ambrel::ShownMode() const
{
    return Paused() ? AMBREL_PAUSED_MODE : mode;
}
