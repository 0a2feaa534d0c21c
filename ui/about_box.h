#pragma once
// The About box of the wizard (template 100): the installer's version and
// copyright, centred on its owner.

#include <windows.h>

// Runs the box modal; returns the id of the button that closed it.
INT_PTR show_about_box(HWND owner);

INT_PTR CALLBACK about_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam);
