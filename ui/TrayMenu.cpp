#include "ui/TrayMenu.h"

#include "base/TextWriter.h"
#include "ui/TrayTooltip.h"

#include <cstring>

namespace
{

// Room for "<zone>  <temperature> °C".
const int ITEM_TEXT_SIZE = ZONE_NAME_SIZE + 16;

void ZoneItemText(const ListedZone& zone, char16_t* text, const TextTable& words)
{
    char16_t degrees[ITEM_TEXT_SIZE];
    ComposeQuantity(degrees, ITEM_TEXT_SIZE, zone.reading.celsius, IDS_DEGREES, words);
    TextWriter writer(text, ITEM_TEXT_SIZE);
    writer.AddAscii(zone.name).Add(u"  ").Add(zone.reading.valid ? degrees : u"--");
}

// The item texts are UTF-16, which is what the W functions take as wchar_t on Windows.
const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

// A locked item is greyed: it keeps its check mark, but choosing it sends no command.
void AppendItem(HMENU menu, UINT id, const char16_t* text, bool locked)
{
    AppendMenuW(menu, MF_STRING | (locked ? MF_GRAYED : 0), id, Wide(text));
}

// The resource gives the items' places and commands; their texts are the user's language.
void RenameItem(HMENU menu, UINT id, const char16_t* text)
{
    ModifyMenuW(menu, id, MF_BYCOMMAND | MF_STRING, id, Wide(text));
}

// An item whose choice is the controller's in a view: "<item> (set for this machine)" or
// "<item> (set by Ambrel in another session)" (pattern) in the user's language; elsewhere
// (pattern 0) the item's own text. Returns text.
const char16_t* MachineItemText(char16_t* text, int item, int pattern, const TextTable& words)
{
    TextWriter writer(text, ITEM_TEXT_SIZE);
    if (pattern == 0) {
        writer.Add(words[item]);
        return text;
    }
    const char16_t* inserts[1] = {words[item]};
    writer.AddPattern(words[pattern], inserts, 1);
    return text;
}

// A ticked or unticked item; a locked one (set by policy) keeps its tick and is greyed.
UINT CheckItemFlags(bool checked, bool locked)
{
    return MF_BYPOSITION | MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED) |
           (locked ? MF_GRAYED : 0);
}

} // namespace

void TrayMenu::AddSettingsItems(HMENU popup, const MenuChoices& choices, const TextTable& words)
{
    RenameItem(popup, ID_HISTORY, words[IDS_MENU_HISTORY]);
    RenameItem(popup, ID_ABOUT, words[IDS_MENU_ABOUT]);
    RenameItem(popup, ID_EXIT, words[IDS_MENU_EXIT]);
    throttleAtChoices = choices.throttleAtChoices;
    throttleAtChoiceCount = choices.throttleAtChoiceCount;
    HMENU zoneMenu = BuildZoneMenu(choices, words);
    HMENU throttleMenu = BuildThrottleMenu(choices.throttleAt, choices.locked.throttleAt, words);
    // Below History, the resource's first item.
    UINT position = 1;
    const int machine = !choices.forMachine    ? 0
                        : choices.otherSession ? IDS_MENU_OTHER_SESSION
                                               : IDS_MENU_FOR_MACHINE;
    char16_t text[3][ITEM_TEXT_SIZE];
    InsertMenuW(popup, position++,
                MF_BYPOSITION | MF_STRING | (choices.pauseLocked ? MF_GRAYED : 0),
                choices.paused ? ID_RESUME : ID_PAUSE,
                Wide(words[choices.paused ? IDS_MENU_RESUME : IDS_MENU_PAUSE]));
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(zoneMenu),
                Wide(MachineItemText(text[0], IDS_MENU_THERMAL_ZONE, machine, words)));
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP,
                reinterpret_cast<UINT_PTR>(throttleMenu),
                Wide(MachineItemText(text[1], IDS_MENU_THROTTLE_AT, machine, words)));
    InsertMenuW(popup, position++, CheckItemFlags(choices.onBattery, choices.locked.onBattery),
                ID_ON_BATTERY, Wide(MachineItemText(text[2], IDS_MENU_ON_BATTERY, machine, words)));
    InsertMenuW(popup, position++, CheckItemFlags(choices.notify, choices.locked.notify), ID_NOTIFY,
                Wide(words[IDS_MENU_NOTIFY]));
    const bool allUsers = choices.startForAllUsers;
    InsertMenuW(popup, position++, CheckItemFlags(choices.startWithWindows || allUsers, allUsers),
                ID_START_WITH_WINDOWS,
                Wide(words[allUsers ? IDS_MENU_START_ALL_USERS : IDS_MENU_START]));
    InsertMenuW(popup, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

HMENU TrayMenu::BuildZoneMenu(const MenuChoices& choices, const TextTable& words)
{
    const char* zone = choices.zone;
    const bool locked = choices.locked.zone;
    HMENU menu = CreatePopupMenu();
    zoneCount = choices.zones != nullptr && choices.zoneCount > 0
                    ? (choices.zoneCount < MAX_LISTED_ZONES ? choices.zoneCount : MAX_LISTED_ZONES)
                    : 0;
    if (zoneCount > 0)
        std::memcpy(zones, choices.zones, sizeof zones[0] * static_cast<size_t>(zoneCount));
    if (zoneCount == 0) {
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, Wide(words[IDS_MENU_NO_ZONES]));
        return menu;
    }
    int checked = 0;
    for (int i = 0; i < zoneCount; ++i) {
        char16_t text[ITEM_TEXT_SIZE];
        ZoneItemText(zones[i], text, words);
        AppendItem(menu, ID_ZONE_FIRST + i, text, locked);
        if (std::strcmp(zones[i].name, ZoneOrDefault(zone)) == 0)
            checked = ID_ZONE_FIRST + i;
    }
    AppendItem(menu, ID_ZONE_HOTTEST, words[IDS_MENU_HOTTEST], locked);
    if (IsHottestZone(zone))
        checked = ID_ZONE_HOTTEST;
    if (checked != 0)
        CheckMenuRadioItem(menu, ID_ZONE_HOTTEST, ID_ZONE_FIRST + zoneCount - 1, checked,
                           MF_BYCOMMAND);
    return menu;
}

HMENU TrayMenu::BuildThrottleMenu(int32_t throttleAt, bool locked, const TextTable& words) const
{
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < throttleAtChoiceCount; ++i) {
        char16_t text[ITEM_TEXT_SIZE];
        ComposeQuantity(text, ITEM_TEXT_SIZE, throttleAtChoices[i], IDS_DEGREES, words);
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
