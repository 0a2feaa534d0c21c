#pragma once
// One installation from start to end: payload check and extraction, shortcuts,
// DirectX update, uninstall registration and the product's registration run,
// uninstall log. Reported line by line to a view (the install page).

#include "engine/installation_choices.h"

#include <cstdint>
#include <istream>
#include <string>
#include <system_error>
#include <windows.h>

class background_payload_check;

// Where the sequence reports its course.
class installation_view {
public:
    virtual ~installation_view() = default;
    // Appends text to the log; lines end with the CR LF inside the text.
    virtual void append_log(const std::wstring& text) = 0;
    // Replaces the one-line status.
    virtual void set_status(const std::wstring& text) = 0;
    // Resets the progress bar to 0 and shows it.
    virtual void show_progress() = 0;
    virtual void set_progress(unsigned percent) = 0;
    // Owner of whatever the steps show (the DirectX setup).
    virtual HWND owner() const = 0;
    // Asked after every file begun or finished and every progress report of
    // the payload: true stops the installation there (the session is ending,
    // say), and everything it did is undone as after a failure, which is
    // reported as interrupted.
    virtual bool stop_requested() const { return false; }
    // A view may hold reports back to show them together (the install page
    // does, coalescing_view). tick is called after every notification of the
    // payload and while the payload's decoding is waited for: what is held
    // back may be shown now. flush is called when a step starts or ends and
    // when the installation ends: everything held back is to be shown now.
    virtual void tick() {}
    virtual void flush() {}
};

// Runs the installation of payload (a bzip2 archive stream) with the choices
// of context. True when it reached its end, even if a later step failed;
// false when it stopped early, after everything it did has been undone.
// Given a check that covers the payload's bytes and runs already, the
// installation takes its verdict, waiting for what is left of it, instead
// of checking the payload itself.
bool run_installation(installation_choices& context, installation_view& view, std::istream& payload,
                      background_payload_check* checked_in_background = nullptr);

// Percentage shown for done of total bytes: rounded, but 100 only at the end.
unsigned progress_percent(std::uint64_t done, std::uint64_t total);

// The error code as the failure message shows it: "1:XXXXXXXX" for system
// errors, "2:XXXXXXXX" for runtime error numbers, the decimal value of a
// payload error, 7 for anything else.
std::wstring error_code_text(const std::error_code& code);
