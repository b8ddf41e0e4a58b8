// Where the throttle controller puts the maximum processor state of its mode: in the program the
// scheme keeper, which notes each scheme's own value before it writes; in the tests a recorder.
#pragma once

#include <cstdint>

class ThrottleSetting
{
  public:
    // Writes the AC value into the active scheme and puts it in force; false when a call failed
    // (logged by the writer).
    virtual bool Write(uint32_t percent) = 0;
    // Reads the AC value of the active scheme; on failure returns false and leaves percent as
    // it was.
    virtual bool Read(uint32_t& percent) = 0;

  protected:
    ~ThrottleSetting() = default;
};
