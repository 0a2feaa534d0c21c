#pragma once
// Identifiers shared by the resource script and the code.

#define IDI_APPLICATION_ICON 128
#define IDB_SIDE_BITMAP 137
#define IDR_PAYLOAD 134
#define RT_PAYLOAD 260
