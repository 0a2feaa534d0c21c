#include "engine/coalescing_view.h"

namespace {

// Fast enough that the log seems to follow every file, slow enough that a
// repaint of the log and the status line is rare next to the chunks.
constexpr auto flush_interval = std::chrono::milliseconds(50);

} // namespace

void coalescing_view::set_status(const std::wstring& text)
{
    status_ = text;
    status_changed_ = true;
}

void coalescing_view::show_progress()
{
    flush();
    page_.show_progress();
    shown_percent_ = percent_ = 0;
}

void coalescing_view::set_progress(unsigned percent)
{
    percent_ = percent;
}

void coalescing_view::tick()
{
    if (std::chrono::steady_clock::now() - last_flush_ >= flush_interval)
        flush();
}

void coalescing_view::flush()
{
    last_flush_ = std::chrono::steady_clock::now();
    if (!log_.empty()) {
        page_.append_log(log_);
        log_.clear();
    }
    if (status_changed_) {
        status_changed_ = false;
        page_.set_status(status_);
    }
    if (percent_ != shown_percent_) {
        shown_percent_ = percent_;
        page_.set_progress(percent_);
    }
}
