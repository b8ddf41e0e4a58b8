#include "ui/DigitColours.h"

#include "power/Ambrel.h"

const uint8_t SegmentTable[10] = {0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B};

namespace
{

const int SEGMENTS_PER_DIGIT = 7;
// Segment g, the middle bar, alone: a minus sign.
const uint8_t MINUS_CODE = 0x01;
const uint8_t NO_SEGMENT = 0x00;

const ColourEntry LIT = {240, 240, 240, 0};
const ColourEntry UNLIT = {0, 0, 0, 0};
const ColourEntry MODE0_BAR = {67, 137, 11, 0};
const ColourEntry MODE1_BAR = {35, 218, 218, 0};
const ColourEntry OTHER_MODE_BAR = {41, 35, 218, 0};
// Grey, but not the mid grey of 128 that a grey taskbar may have: the bar reaches the icon's edge.
const ColourEntry PAUSED_BAR = {140, 140, 140, 0};

void SetDigit(DigitColourTable& table, int firstEntry, uint8_t code)
{
    for (int segment = 0; segment < SEGMENTS_PER_DIGIT; ++segment) {
        const uint8_t bit = static_cast<uint8_t>(0x40 >> segment);
        table[firstEntry + segment] = (code & bit) ? LIT : UNLIT;
    }
}

} // namespace

ColourEntry ModeBarColour(int mode)
{
    if (mode == 0)
        return MODE0_BAR;
    if (mode == 1)
        return MODE1_BAR;
    if (mode == AMBREL_PAUSED_MODE)
        return PAUSED_BAR;
    return OTHER_MODE_BAR;
}

DigitColourTable ComputeDigitColours(int t, int mode)
{
    DigitColourTable table;
    table.fill(UNLIT);
    uint8_t onesCode = NO_SEGMENT;
    uint8_t tensCode = NO_SEGMENT;
    if (t >= 0) {
        onesCode = SegmentTable[t % 10];
        tensCode = SegmentTable[(t / 10) % 10];
        if (t / 100 > 0)
            table[HUNDREDS_ENTRY] = LIT;
    } else if (t > -10) {
        // -t cannot overflow here.
        onesCode = SegmentTable[-t];
        tensCode = MINUS_CODE;
    } else {
        onesCode = MINUS_CODE;
        tensCode = MINUS_CODE;
    }
    SetDigit(table, ONES_FIRST_ENTRY, onesCode);
    SetDigit(table, TENS_FIRST_ENTRY, tensCode);
    table[MODE_BAR_ENTRY] = ModeBarColour(mode);
    return table;
}
