// The thermal zones of this machine with their current temperatures, for the tray menu. Read in a
// query of its own on the calling (main) thread; the worker's counter is not touched.
#pragma once

#include "watch/ThermalZone.h"

// Fills zones (room for capacity) and returns how many there are; 0 when the machine publishes
// none or they cannot be read. Each zone is logged with its temperature.
int ListThermalZones(ListedZone* zones, int capacity);
