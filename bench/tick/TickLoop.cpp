#include "bench/tick/TickLoop.h"

#include "watch/CapEffect.h"

#include "power/PowerSetting.h"

void RunTicks(TickState& state, const int64_t* counterValues, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (state.ambrel.Engaged() && ActiveSchemeDiffers(state.inForce))
            state.ambrel.SetPowerMode();
        int32_t t = CelsiusFromCounter(counterValues[i]);
        HoldReading(state.held, t);
        state.ambrel.OnTemperature(t);
        TempReport report = {t,
                             state.ambrel.mode,
                             READING_OK,
                             static_cast<int32_t>(state.ambrel.inForce),
                             state.ambrel.lowered,
                             CAP_EFFECT_OFF,
                             0,
                             0};
        if (ReportChanged(state.lastPosted, report)) {
            state.lastPosted = report;
            ++state.posts;
        }
    }
}
