// Where the throttle controller puts the maximum processor state of its mode: in the program the
// scheme keeper, which notes each scheme's own value before it writes; in the tests a recorder.
#pragma once

#include <cstdint>

class ThrottleSetting
{
  public:
    // Puts the mode's level (percent) into the active scheme's maximum processor state and in
    // force; false when a call failed (logged by the writer).
    virtual bool Write(uint32_t percent) = 0;
    // Reads the AC value (efficiency class 0) of the active scheme; on failure returns false and
    // leaves percent as it was.
    virtual bool Read(uint32_t& percent) = 0;

  protected:
    ~ThrottleSetting() = default;
};
