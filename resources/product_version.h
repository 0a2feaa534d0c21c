#pragma once
// The version of the installer and of the product it carries, for the
// version resource and the code alike.

#define VT_VERSION_MAJOR 8
#define VT_VERSION_MINOR 11
#define VT_VERSION_BUILD 14
#define VT_VERSION_REVISION 1
#define VT_VERSION_TEXT "8.11.14.1"
