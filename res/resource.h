#pragma once

// Resource and command identifiers shared by the resource scripts and the program.
#define IDI_APPICON 101
#define IDR_TRAYMENU 104
#define IDB_TEMPICON 105

#define ID_EXIT 40015
#define ID_ABOUT 40016
