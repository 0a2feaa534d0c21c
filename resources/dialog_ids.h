#pragma once
// Identifiers of the wizard's dialog templates and of their controls, shared
// by the resource script and the code.

// Dialog templates.
#define IDD_ABOUT 100
#define IDD_MAIN 101
#define IDD_START 132
#define IDD_OPTIONS 133
#define IDD_INSTALL 135
#define IDD_MODE 136
#define IDD_END 137

// Frame (template 101). Next and Exit are the standard IDOK and IDCANCEL, so
// that Enter, Esc and the close box reach them through the dialog manager.
#define IDC_NEXT 1
#define IDC_EXIT 2
#define IDC_BACK 3
#define IDC_SEPARATOR 1002
#define IDC_SIDE_PANEL 1005
#define IDC_SIDE_IMAGE 1025
#define IDC_SIZE_GRIP 1024

// The system-menu command of the About box.
#define IDM_ABOUT 16

// Status line of every page: what to click next.
#define IDC_STATUS 1003

// Start page (template 132).
#define IDC_INFORMATION 1016
#define IDC_COPYRIGHT 1020
#define IDC_LANGUAGE_LABEL 1022
#define IDC_LANGUAGE_LIST 1023

// Mode page (template 136).
#define IDC_QUICK 1018
#define IDC_ADVANCED 1019
#define IDC_MODE_GROUP 1021

// Options page (template 133).
#define IDC_BROWSE 1006
#define IDC_FOLDER_EDIT 1007
#define IDC_FOLDER_GROUP 1008
#define IDC_FOLDER_LABEL 1009
#define IDC_DESKTOP_SHORTCUT 1010
#define IDC_MENU_SHORTCUT 1011

// Install page (template 135).
#define IDC_PROGRESS 1014
#define IDC_LOG 1015

// End page (template 137) shows its message in IDC_INFORMATION.

// About box (template 100).
#define IDC_ABOUT_VERSION 1019
#define IDC_ABOUT_COPYRIGHT 1020
