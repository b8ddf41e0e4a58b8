#include "ui/TrayMenu.h"

#include "base/TextWriter.h"

#include <cstring>

namespace
{

// Room for "<zone>  <temperature> °C".
const int ITEM_TEXT_SIZE = ZONE_NAME_SIZE + 16;

void ZoneItemText(const ListedZone& zone, char16_t* text)
{
    TextWriter writer(text, ITEM_TEXT_SIZE);
    writer.AddAscii(zone.name).Add(u"  ");
    if (zone.reading.valid)
        writer.AddNumber(zone.reading.celsius).Add(u" \u00B0C");
    else
        writer.Add(u"--");
}

void ThrottleItemText(int32_t celsius, char16_t* text)
{
    TextWriter(text, ITEM_TEXT_SIZE).AddNumber(celsius).Add(u" \u00B0C");
}

// The item texts are UTF-16, which is what the W functions take as wchar_t on Windows. A locked
// item is greyed: it keeps its check mark, but choosing it sends no command.
void AppendItem(HMENU menu, UINT id, const char16_t* text, bool locked)
{
    AppendMenuW(menu, MF_STRING | (locked ? MF_GRAYED : 0), id,
                reinterpret_cast<const wchar_t*>(text));
}

// A ticked or unticked item; a locked one (set by policy) keeps its tick and is greyed.
UINT CheckItemFlags(bool checked, bool locked)
{
    return MF_BYPOSITION | MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED) |
           (locked ? MF_GRAYED : 0);
}

} // namespace

void TrayMenu::AddSettingsItems(HMENU popup, const MenuChoices& choices)
{
    throttleAtChoices = choices.throttleAtChoices;
    throttleAtChoiceCount = choices.throttleAtChoiceCount;
    HMENU zoneMenu = BuildZoneMenu(choices.zone, choices.locked.zone);
    HMENU throttleMenu = BuildThrottleMenu(choices.throttleAt, choices.locked.throttleAt);
    // Below History, the resource's first item.
    UINT position = 1;
    const bool machine = choices.forMachine;
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(zoneMenu),
                machine ? L"Thermal zone (set for this machine)" : L"Thermal zone");
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP,
                reinterpret_cast<UINT_PTR>(throttleMenu),
                machine ? L"Throttle at (set for this machine)" : L"Throttle at");
    InsertMenuW(popup, position++, CheckItemFlags(choices.onBattery, choices.locked.onBattery),
                ID_ON_BATTERY,
                machine ? L"On battery too (set for this machine)" : L"On battery too");
    InsertMenuW(popup, position++, CheckItemFlags(choices.notify, choices.locked.notify), ID_NOTIFY,
                L"Notify when throttling");
    const bool allUsers = choices.startForAllUsers;
    InsertMenuW(popup, position++, CheckItemFlags(choices.startWithWindows || allUsers, allUsers),
                ID_START_WITH_WINDOWS,
                allUsers ? L"Start with Windows (all users)" : L"Start with Windows");
    InsertMenuW(popup, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

HMENU TrayMenu::BuildZoneMenu(const char* zone, bool locked)
{
    HMENU menu = CreatePopupMenu();
    zoneCount = ListThermalZones(zones, MAX_LISTED_ZONES);
    if (zoneCount == 0) {
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"No thermal zones found");
        return menu;
    }
    int checked = 0;
    for (int i = 0; i < zoneCount; ++i) {
        char16_t text[ITEM_TEXT_SIZE];
        ZoneItemText(zones[i], text);
        AppendItem(menu, ID_ZONE_FIRST + i, text, locked);
        if (std::strcmp(zones[i].name, ZoneOrDefault(zone)) == 0)
            checked = ID_ZONE_FIRST + i;
    }
    AppendItem(menu, ID_ZONE_HOTTEST, u"Hottest zone", locked);
    if (IsHottestZone(zone))
        checked = ID_ZONE_HOTTEST;
    if (checked != 0)
        CheckMenuRadioItem(menu, ID_ZONE_HOTTEST, ID_ZONE_FIRST + zoneCount - 1, checked,
                           MF_BYCOMMAND);
    return menu;
}

HMENU TrayMenu::BuildThrottleMenu(int32_t throttleAt, bool locked) const
{
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < throttleAtChoiceCount; ++i) {
        char16_t text[ITEM_TEXT_SIZE];
        ThrottleItemText(throttleAtChoices[i], text);
        AppendItem(menu, ID_THROTTLE_AT_FIRST + i, text, locked);
        if (throttleAtChoices[i] == throttleAt)
            CheckMenuRadioItem(menu, ID_THROTTLE_AT_FIRST,
                               ID_THROTTLE_AT_FIRST + throttleAtChoiceCount - 1,
                               ID_THROTTLE_AT_FIRST + i, MF_BYCOMMAND);
    }
    return menu;
}

const char* TrayMenu::ZoneOfCommand(int command) const
{
    if (command == ID_ZONE_HOTTEST && zoneCount > 0)
        return HOTTEST_ZONE;
    int index = command - ID_ZONE_FIRST;
    if (index >= 0 && index < zoneCount)
        return zones[index].name;
    return nullptr;
}

int32_t TrayMenu::ThrottleAtOfCommand(int command) const
{
    int index = command - ID_THROTTLE_AT_FIRST;
    if (index >= 0 && index < throttleAtChoiceCount)
        return throttleAtChoices[index];
    return 0;
}
