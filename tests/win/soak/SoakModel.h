// The soak test's side of the comparison: a sweep of temperatures across the thresholds and a
// model of the throttle controller's rules written from those rules alone, which says what the
// watcher must post and write for the same readings.
#pragma once

#include <cstdint>
#include <vector>

namespace soak
{

// count temperatures in °C, in runs of 1 to 10 equal readings, each run hot (85 to 100), in the
// dead band (80 to 84) or cool (60 to 79), so that the mode climbs and falls many times and some
// runs are too short to take a step. The same seed gives the same sweep.
std::vector<int> SweepTemperatures(int count, uint32_t seed);

// A counter value (tenths of a kelvin) that reads as t °C, for t from -27 up.
int CounterValueOf(int t);

// One report as the window receives it.
struct Report {
    int temperature;
    int mode;
};
bool operator==(const Report& a, const Report& b);

// One write of the maximum processor state and the number of readings taken before it.
struct PowerWrite {
    int afterReadings;
    int percent;
};
bool operator==(const PowerWrite& a, const PowerWrite& b);

// The rules: a reading at 85 or above asks for one mode up while the mode is below 2; one below 80
// asks for one mode down while the mode is above 0; 80 to 84 drops any pending step. Four requests
// in a row in one direction take the step; a request in the other direction starts a new run; a
// reading that asks for an impossible step neither counts nor breaks the run.
class ControllerModel
{
  public:
    // The first reading: nothing is written (mode 0 is the user's own value), the reading is
    // taken and reported whatever it is.
    void Start(int t);
    // A later reading: reported only when the temperature or the mode differs from the last
    // report.
    void Next(int t);
    // The user's own value (100 in the test's store) is written back at the end, where a cap
    // is still in force.
    void Finish();

    int mode = 0;
    std::vector<Report> reports;
    // Maximum processor states written, in order.
    std::vector<PowerWrite> writes;

  private:
    void Take(int t);
    void Ask(int direction);
    void Post(int t);

    int pending = 0; // direction of the pending run, 0 for none
    int run = 0;     // requests in the pending run
    int readings = 0;
};

} // namespace soak
