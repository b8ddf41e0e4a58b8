#pragma once

// Resource and command identifiers shared by the resource scripts and the program.
#define IDI_APPICON 101
#define IDR_TRAYMENU 104
#define IDB_TEMPICON 105
// The segment bitmap drawn for smaller notification-area icons (IDB_TEMPICON is the 32-pixel one).
#define IDB_TEMPICON16 116
#define IDB_TEMPICON20 120
#define IDB_TEMPICON24 124

#define ID_EXIT 40015
#define ID_ABOUT 40016
#define ID_HISTORY 40017

// The user-facing texts, one string table per language in res/Strings.rc, each holding every id
// from IDS_FIRST to IDS_LAST. A new text takes the next id and moves IDS_LAST. In a text, "%1" to
// "%9" stand for what the program puts in (a number with its unit, a zone, another text).
#define IDS_FIRST 1000
#define IDS_MENU_HISTORY 1000
#define IDS_MENU_THERMAL_ZONE 1001
#define IDS_MENU_THROTTLE_AT 1002
#define IDS_MENU_ON_BATTERY 1003
#define IDS_MENU_NOTIFY 1004
#define IDS_MENU_START 1005
#define IDS_MENU_START_ALL_USERS 1006
#define IDS_MENU_ABOUT 1007
#define IDS_MENU_EXIT 1008
#define IDS_MENU_NO_ZONES 1009
#define IDS_MENU_HOTTEST 1010
#define IDS_ABOUT_TEXT 1011
#define IDS_DEGREES 1012
#define IDS_PERCENT 1013
#define IDS_HOTTEST_ZONE 1014
#define IDS_MAXIMUM_STATE 1015
#define IDS_CAPPED_AC_AND_BATTERY 1016
#define IDS_CAPPED_AC_ONLY 1017
#define IDS_TIP_READING 1018
#define IDS_TIP_NO_READING 1019
#define IDS_TIP_OK 1020
#define IDS_TIP_FAILED 1021
#define IDS_TIP_FAILING 1022
#define IDS_TIP_ZONE_MISSING 1023
#define IDS_TIP_NO_ZONES 1024
#define IDS_NOTICE 1025
#define IDS_HISTORY_NAME 1026
#define IDS_LEGEND_TEMPERATURE 1027
#define IDS_LEGEND_STATE 1028
#define IDS_LEGEND_PERFORMANCE 1029
#define IDS_AXIS_START 1030
#define IDS_AXIS_NOW 1031
#define IDS_MENU_FOR_MACHINE 1032
#define IDS_TIP_NO_CONTROLLER 1033
#define IDS_MENU_OTHER_SESSION 1034
#define IDS_TIP_CONTROLLER_ENDED 1035
#define IDS_DAY_NONE 1036
#define IDS_DAY_ONCE 1037
#define IDS_DAY_TIMES 1038
#define IDS_RANGE_MINUTES 1039
#define IDS_RANGE_HOURS 1040
#define IDS_AXIS_START_HOURS 1041
#define IDS_LAST 1041
