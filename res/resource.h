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
