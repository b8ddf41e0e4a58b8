// The settings part of the tray menu, built at run time between History and About: "Pause for 1
// hour" (or "Resume" while paused), "Thermal zone" (every zone with its temperature, and "Hottest
// zone"), "Throttle at" (the offered thresholds), "On battery too", "Notify when throttling",
// "Start with Windows", and a separator. Main thread only.
#pragma once

#include "base/TextTable.h"
#include "watch/ThermalZone.h"

#include <windows.h>

#include <cstdint>

// Command ids of the items built here (the menu resource keeps About and Exit).
const int ID_ZONE_HOTTEST = 40100;
const int ID_ZONE_FIRST = 40101;        // + the zone's index in the list
const int ID_THROTTLE_AT_FIRST = 40200; // + the index in THROTTLE_AT_CHOICES
const int ID_START_WITH_WINDOWS = 40300;
const int ID_NOTIFY = 40301;
const int ID_ON_BATTERY = 40320;
const int ID_PAUSE = 40400;
const int ID_RESUME = 40401;

// The items whose setting a policy has set: shown with their value, greyed.
struct MenuLocks {
    bool zone;
    bool throttleAt;
    bool onBattery;
    bool notify;
};

// What the settings items show: the choices in force and the thresholds on offer.
struct MenuChoices {
    // A zone name, HOTTEST_ZONE, or empty for the default zone.
    const char* zone;
    // The machine's zones, as whoever reads the sensor listed them when the menu opened.
    const ListedZone* zones;
    int zoneCount;
    // The upper threshold in °C, and the thresholds offered (they outlive the menu).
    int32_t throttleAt;
    const int32_t* throttleAtChoices;
    int throttleAtChoiceCount;
    bool startWithWindows;
    // Started at every user's logon by the machine's own setting: ticked, greyed, and marked
    // "(all users)".
    bool startForAllUsers;
    // The values used on battery are capped too.
    bool onBattery;
    // Whether the first step of the cap that lowers a value is notified.
    bool notify;
    MenuLocks locked;
    // The zone, the threshold and the battery choice are the machine's controller's: their
    // items say "(set for this machine)" (and are locked), or "(set by Ambrel in another
    // session)" where that controller is a tray in another user's session.
    bool forMachine;
    bool otherSession;
    // The controller is paused: the item resumes. It is greyed where the pause is not the
    // user's to make (a policy forbids it, or a view shows the controller).
    bool paused;
    bool pauseLocked;
};

class TrayMenu
{
  public:
    // The zones listed when the menu last opened; the commands of its zone items refer to them.
    ListedZone zones[MAX_LISTED_ZONES];
    int zoneCount;
    // The thresholds offered when the menu last opened; the commands of its items refer to them.
    const int32_t* throttleAtChoices;
    int throttleAtChoiceCount;

    // Inserts the items at the top of popup, with the current choices
    // checked; every item, the resource's History, About and Exit too, in words.
    void AddSettingsItems(HMENU popup, const MenuChoices& choices, const TextTable& words);
    // The zone that a command chooses (a name or HOTTEST_ZONE); null for any other command.
    const char* ZoneOfCommand(int command) const;
    // The threshold that a command chooses; 0 for any other command.
    int32_t ThrottleAtOfCommand(int command) const;

  private:
    HMENU BuildZoneMenu(const MenuChoices& choices, const TextTable& words);
    HMENU BuildThrottleMenu(int32_t throttleAt, bool locked, const TextTable& words) const;
};
