#pragma once
// Test helpers that look at real message boxes and dialogs the way a user
// would, what they say and which button is pressed to close them, and that
// start and wait for other programs.

#include "support/unique_any.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// What a message box showed.
struct seen_box {
    std::wstring caption;
    std::wstring text;        // of the first text field
    std::vector<int> buttons; // ids of the push buttons
};

// While alive, every dialog box of this thread that it activates is recorded
// and answered by pressing the button that answer() chooses for it. Wine also
// shows the hook other programs' windows that this thread tries to activate.
class box_watcher {
public:
    explicit box_watcher(std::function<int(const seen_box&)> answer);
    box_watcher(const box_watcher&) = delete;
    box_watcher& operator=(const box_watcher&) = delete;
    ~box_watcher();

    const std::vector<seen_box>& boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wparam, LPARAM lparam);
    vt::unique_hook hook_;
    std::function<int(const seen_box&)> answer_;
    std::vector<seen_box> boxes_;
};

// Reads what a dialog window shows.
seen_box read_box(HWND box);
// The same for a box of another process, once its text is there: the box
// fills in its texts while it opens, and a look in between finds none.
seen_box read_filled_box(HWND box, std::chrono::milliseconds timeout);

// The first visible dialog window of another process other than except (to
// find a box that the first one opens), or null after the time-out.
HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout, HWND except = nullptr);

// Presses a button of a dialog in another process.
void press_button(HWND dialog, int id);

// Runs a program with a command line.
struct started_process {
    HANDLE process = nullptr;
    DWORD id = 0;
    ~started_process();
    DWORD wait(std::chrono::milliseconds timeout); // exit code, or STILL_ACTIVE
};
void start_program(const std::wstring& path, const std::wstring& arguments, started_process& out);

// Folder of the test programs and the installer of this build.
std::wstring build_folder();
