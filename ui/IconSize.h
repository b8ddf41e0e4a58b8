// The sizes at which the tray icon's segment bitmap is drawn, and which of them the icon uses
// for the size at which the shell shows small icons.
#pragma once

// The designed sizes in pixels, smallest first; each has a segment bitmap of its own.
const int DESIGNED_ICON_SIZE_COUNT = 4;
extern const int DesignedIconSizes[DESIGNED_ICON_SIZE_COUNT];

// The largest designed size at or below smallIconSize (36 gives 32), or the smallest one when
// smallIconSize is below all of them. Drawn at its own size, the icon is never scaled down by
// the shell by a fraction, which would blur the segments.
int DesignedIconSize(int smallIconSize);

// The resource id of the segment bitmap drawn at designedSize; 0 when there is none.
int TempIconResource(int designedSize);
