#include "SoakModel.h"

namespace soak
{

namespace
{

const int kPercentOfMode[] = {100, 99, 80};
const int kSavedPercent = 100;

// A 32-bit linear congruential generator: enough to vary the sweep, fixed by its seed.
class Sequence
{
  public:
    explicit Sequence(uint32_t seed) : state(seed) {}
    int Below(int bound)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(bound));
    }

  private:
    uint32_t state;
};

} // namespace

std::vector<int> SweepTemperatures(int count, uint32_t seed)
{
    Sequence random(seed);
    std::vector<int> temperatures;
    while (static_cast<int>(temperatures.size()) < count) {
        const int kind = random.Below(8);
        int t = 0;
        if (kind < 3)
            t = 85 + random.Below(16);
        else if (kind < 6)
            t = 60 + random.Below(20);
        else
            t = 80 + random.Below(5);
        const int length = 1 + random.Below(10);
        for (int i = 0; i < length && static_cast<int>(temperatures.size()) < count; ++i)
            temperatures.push_back(t);
    }
    return temperatures;
}

int CounterValueOf(int t)
{
    return 2732 + 10 * t;
}

bool operator==(const Report& a, const Report& b)
{
    return a.temperature == b.temperature && a.mode == b.mode;
}

bool operator==(const PowerWrite& a, const PowerWrite& b)
{
    return a.afterReadings == b.afterReadings && a.percent == b.percent;
}

void ControllerModel::Start(int t)
{
    Take(t);
    Post(t);
}

void ControllerModel::Next(int t)
{
    Take(t);
    const Report last = reports.back();
    if (last.temperature != t || last.mode != mode)
        Post(t);
}

void ControllerModel::Finish()
{
    if (mode != 0)
        writes.push_back({readings, kSavedPercent});
}

void ControllerModel::Take(int t)
{
    ++readings;
    if (t >= 85) {
        if (mode < 2)
            Ask(+1);
    } else if (t < 80) {
        if (mode > 0)
            Ask(-1);
    } else {
        pending = 0;
        run = 0;
    }
}

void ControllerModel::Ask(int direction)
{
    if (pending != direction) {
        pending = direction;
        run = 1;
        return;
    }
    if (++run < 4)
        return;
    mode += direction;
    pending = 0;
    run = 0;
    writes.push_back({readings, kPercentOfMode[mode]});
}

void ControllerModel::Post(int t)
{
    reports.push_back({t, mode});
}

} // namespace soak
