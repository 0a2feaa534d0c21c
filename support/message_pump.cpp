#include "support/message_pump.h"

#include "support/error.h"

HWND frame_window = nullptr;

bool pump_messages()
{
    // The installation calls this after every 4 kB of the payload. Under
    // Wine a peek that finds nothing costs several times what asking whether
    // anything waits costs; and without PM_NOYIELD it gives the processor
    // away on an empty queue, waiting a whole time slice behind the
    // payload's decoding threads each time.
    if (HIWORD(::GetQueueStatus(QS_ALLINPUT)) == 0)
        return false;
    bool dispatched = false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(int(message.wParam));
            return dispatched;
        }
        dispatched = true;
        if (frame_window && ::IsDialogMessageW(frame_window, &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return dispatched;
}

void wait_dispatching(HANDLE object)
{
    for (;;) {
        pump_messages();
        // A quit left in the queue for the outer loop would wake the wait
        // at once, again and again.
        MSG quit;
        if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE | PM_NOYIELD)) {
            if (::WaitForSingleObject(object, INFINITE) == WAIT_FAILED)
                vt::throw_last_error("WaitForSingleObject");
            return;
        }
        // Wakes for input that arrived since the pump too, not only for
        // input that is new since the last look at the queue.
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &object, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            return;
        if (woken == WAIT_FAILED)
            vt::throw_last_error("MsgWaitForMultipleObjectsEx");
    }
}
