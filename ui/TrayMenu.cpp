#include "ui/TrayMenu.h"

#include <cstdio>
#include <cstring>

namespace
{

// Room for "<zone>  <temperature> °C".
const int ITEM_TEXT_SIZE = ZONE_NAME_SIZE + 16;

// Zone names are ASCII; the item text is Unicode for the degree sign.
void WidenInto(wchar_t* out, int& used, const char* text)
{
    while (*text != '\0' && used + 1 < ITEM_TEXT_SIZE)
        out[used++] = static_cast<wchar_t>(static_cast<unsigned char>(*text++));
    out[used] = L'\0';
}

void ZoneItemText(const ListedZone& zone, wchar_t* text)
{
    int used = 0;
    WidenInto(text, used, zone.name);
    char temperature[16] = "  --";
    if (zone.reading.valid)
        std::snprintf(temperature, sizeof temperature, "  %d ",
                      static_cast<int>(zone.reading.celsius));
    WidenInto(text, used, temperature);
    if (zone.reading.valid && used + 2 < ITEM_TEXT_SIZE) {
        text[used++] = L'\u00B0';
        text[used++] = L'C';
        text[used] = L'\0';
    }
}

void ThrottleItemText(int32_t celsius, wchar_t* text)
{
    int used = 0;
    char number[16];
    std::snprintf(number, sizeof number, "%d ", static_cast<int>(celsius));
    WidenInto(text, used, number);
    text[used++] = L'\u00B0';
    text[used++] = L'C';
    text[used] = L'\0';
}

const char* ChosenZone(const Settings& settings)
{
    return settings.zone[0] != '\0' ? settings.zone : DEFAULT_ZONE;
}

} // namespace

void TrayMenu::AddSettingsItems(HMENU popup, const Settings& settings, bool startWithWindows)
{
    HMENU zoneMenu = BuildZoneMenu(settings);
    HMENU throttleMenu = BuildThrottleMenu(settings);
    UINT position = 0;
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(zoneMenu),
                L"Thermal zone");
    InsertMenuW(popup, position++, MF_BYPOSITION | MF_POPUP,
                reinterpret_cast<UINT_PTR>(throttleMenu), L"Throttle at");
    InsertMenuW(popup, position++,
                MF_BYPOSITION | MF_STRING | (startWithWindows ? MF_CHECKED : MF_UNCHECKED),
                ID_START_WITH_WINDOWS, L"Start with Windows");
    InsertMenuW(popup, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

HMENU TrayMenu::BuildZoneMenu(const Settings& settings)
{
    HMENU menu = CreatePopupMenu();
    zoneCount = ListThermalZones(zones, MAX_LISTED_ZONES);
    if (zoneCount == 0) {
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"No thermal zones found");
        return menu;
    }
    int checked = 0;
    for (int i = 0; i < zoneCount; ++i) {
        wchar_t text[ITEM_TEXT_SIZE];
        ZoneItemText(zones[i], text);
        AppendMenuW(menu, MF_STRING, ID_ZONE_FIRST + i, text);
        if (std::strcmp(zones[i].name, ChosenZone(settings)) == 0)
            checked = ID_ZONE_FIRST + i;
    }
    AppendMenuW(menu, MF_STRING, ID_ZONE_HOTTEST, L"Hottest zone");
    if (IsHottestZone(settings.zone))
        checked = ID_ZONE_HOTTEST;
    if (checked != 0)
        CheckMenuRadioItem(menu, ID_ZONE_HOTTEST, ID_ZONE_FIRST + zoneCount - 1, checked,
                           MF_BYCOMMAND);
    return menu;
}

HMENU TrayMenu::BuildThrottleMenu(const Settings& settings) const
{
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < THROTTLE_AT_CHOICE_COUNT; ++i) {
        wchar_t text[ITEM_TEXT_SIZE];
        ThrottleItemText(THROTTLE_AT_CHOICES[i], text);
        AppendMenuW(menu, MF_STRING, ID_THROTTLE_AT_FIRST + i, text);
        if (THROTTLE_AT_CHOICES[i] == settings.throttleAt)
            CheckMenuRadioItem(menu, ID_THROTTLE_AT_FIRST,
                               ID_THROTTLE_AT_FIRST + THROTTLE_AT_CHOICE_COUNT - 1,
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
    if (index >= 0 && index < THROTTLE_AT_CHOICE_COUNT)
        return THROTTLE_AT_CHOICES[index];
    return 0;
}
