#pragma once
// Stands between the installation and its page. A file of a few kilobytes
// brings a handful of log and status calls and one progress report per
// chunk; handed on one by one they cost the interface thread more than the
// file itself. Text is gathered here and handed on as one piece at most every
// 50 ms and whenever a step ends, so the page still shows every line; the
// progress bar hears only of a position it does not show yet.

#include "engine/installation_sequence.h"

#include <chrono>
#include <string>

class coalescing_view final : public installation_view {
public:
    explicit coalescing_view(installation_view& page) : page_(page) {}

    void append_log(const std::wstring& text) override { log_ += text; }
    void set_status(const std::wstring& text) override;
    void show_progress() override;
    void set_progress(unsigned percent) override;
    HWND owner() const override { return page_.owner(); }
    bool stop_requested() const override { return page_.stop_requested(); }

    // Hands on what was gathered when the last hand-over is 50 ms old.
    void tick() override;
    // Hands on what was gathered now.
    void flush() override;

private:
    installation_view& page_;
    std::wstring log_;
    std::wstring status_;
    bool status_changed_ = false;
    unsigned shown_percent_ = 0;
    unsigned percent_ = 0;
    std::chrono::steady_clock::time_point last_flush_ = std::chrono::steady_clock::now();
};
