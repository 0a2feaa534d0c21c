#pragma once
// Keeping the one interface thread's windows alive while it works: long work
// runs inside a message handler and lets waiting messages through.

#include <windows.h>

// The window of the wizard frame while it exists; pump_messages hands its
// dialog messages to it.
extern HWND frame_window;

// Dispatches every message waiting in this thread's queue, then returns;
// true when there was any.
bool pump_messages();

// Waits without time limit until object is signalled, dispatching every
// message meanwhile, so that the window stays alive however long it takes.
// Raises a system error when the wait itself fails.
void wait_dispatching(HANDLE object);
