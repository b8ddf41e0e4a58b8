// Where the throttle controller puts the maximum processor state of its mode: in the program the
// scheme keeper, which caps each of the active scheme's values at the level without ever raising
// one above the user's own setting; in the tests a recorder.
#pragma once

#include <cstdint>

class ThrottleSetting
{
  public:
    // Caps the active scheme's maximum processor state at the mode's level (percent), each
    // value at most its own setting, and puts what changed in force; false when a call failed
    // (logged by the writer).
    virtual bool Write(uint32_t level) = 0;
    // Reads the AC value (efficiency class 0) of the active scheme; on failure returns false and
    // leaves percent as it was.
    virtual bool Read(uint32_t& percent) = 0;
    // True when the last Write left some value below its own setting.
    virtual bool Lowered() const = 0;

  protected:
    ~ThrottleSetting() = default;
};
