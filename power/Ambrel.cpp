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

void Ambrel::OnTemperature(int t)
{
    if (t >= UpperThreshold()) {
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
