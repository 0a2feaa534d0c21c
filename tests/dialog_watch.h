#pragma once
// Test helpers that look at real message boxes and dialogs the way a user
// would: what they say, which icon and reading order they have, and which
// button is pressed to close them.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What a message box showed.
struct seen_box {
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    LONG_PTR ex_style = 0;
    bool has_icon = false;
    std::vector<int> buttons; // ids of the push buttons
    int default_button = 0;   // id of the button drawn as the default one
    RECT rect{};              // the box's rectangle on the screen
};

// While alive, every dialog box that this thread activates is recorded and
// answered by pressing the button that answer() chooses for it.
class box_watcher {
public:
    explicit box_watcher(std::function<int(const seen_box&)> answer);
    box_watcher(const box_watcher&) = delete;
    box_watcher& operator=(const box_watcher&) = delete;
    ~box_watcher();

    const std::vector<seen_box>& boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wparam, LPARAM lparam);
    HHOOK hook_;
    std::function<int(const seen_box&)> answer_;
    std::vector<seen_box> boxes_;
};

// While alive, every dialog box that this thread activates is handed once to
// act(), from inside the box's own modal loop and after the box has finished
// its initialisation, so that act() can work the box as a user would (type,
// select, press a button).
class dialog_script {
public:
    explicit dialog_script(std::function<void(HWND box)> act);
    dialog_script(const dialog_script&) = delete;
    dialog_script& operator=(const dialog_script&) = delete;
    ~dialog_script();

    int boxes_seen() const { return seen_; }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wparam, LPARAM lparam);
    static void CALLBACK run(HWND, UINT, UINT_PTR timer, DWORD);
    HHOOK hook_;
    std::function<void(HWND)> act_;
    std::vector<std::pair<UINT_PTR, HWND>> pending_;
    int seen_ = 0;
};

// Reads what a dialog window shows.
seen_box read_box(HWND box);

// The first visible dialog window of another process, or null after the time-out.
HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout);
// The same, leaving one dialog aside (a box that the first one opens).
HWND wait_for_process_dialog(DWORD process_id, std::chrono::milliseconds timeout, HWND except);

// Presses a button of a dialog in another process.
void press_button(HWND dialog, int id);

// Runs a program with a command line; the process handle is returned.
struct started_process {
    HANDLE process = nullptr;
    DWORD id = 0;
    ~started_process();
    DWORD wait(std::chrono::milliseconds timeout); // exit code, or STILL_ACTIVE
};
void start_program(const std::wstring& path, const std::wstring& arguments, started_process& out,
                   const wchar_t* environment = nullptr);

// Starts an installed uninstaller silently, as the list of programs does,
// and waits until its temporary copy, which does the work, has ended and
// gone (the folder that the run removes) has disappeared.
struct uninstall_run {
    DWORD exit_code = STILL_ACTIVE; // of the uninstaller started
    int copies_left = 0;            // temporary copies still there
};
uninstall_run run_uninstaller(const std::filesystem::path& uninstaller, const std::filesystem::path& gone);

// Folder of the test programs and the installer of this build.
std::wstring build_folder();
