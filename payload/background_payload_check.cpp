#include "payload/background_payload_check.h"

#include "payload/payload_reader.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <istream>
#include <streambuf>
#include <system_error>

namespace {

// The check hands its progress over and looks for a stop at every window of
// this size that it reads: often enough for a prompt stop and a smooth bar,
// seldom enough to cost nothing.
constexpr std::size_t reading_window = 64 * 1024;

// How often wait() reports to its caller: the interface thread's window
// stays alive, and the bar moves, at this pace.
constexpr auto waiting_slice = std::chrono::milliseconds(10);

[[noreturn]] void throw_stopped()
{
    throw std::system_error(std::make_error_code(std::errc::operation_canceled), "payload check stopped");
}

} // namespace

// Serves the payload's memory a window at a time, counting what was read and
// raising once a stop is requested: the decoder then unwinds and its worker
// threads end.
class background_payload_check::reading_buffer : public std::streambuf {
public:
    explicit reading_buffer(background_payload_check& check) : check_(check) {}

protected:
    int_type underflow() override
    {
        {
            std::lock_guard lock(check_.mutex_);
            check_.done_ = served_;
            if (check_.stop_requested_)
                throw_stopped();
        }
        if (served_ >= check_.size_)
            return traits_type::eof();
        const std::size_t window = std::min(check_.size_ - served_, reading_window);
        setg(begin() + served_, begin() + served_, begin() + served_ + window);
        served_ += window;
        return traits_type::to_int_type(*gptr());
    }

private:
    // The get area is declared writable, but nothing here ever writes to it.
    char* begin() const { return const_cast<char*>(check_.data_); }

    background_payload_check& check_;
    std::size_t served_ = 0; // the bytes up to the end of the current window
};

background_payload_check::background_payload_check(const char* data, std::size_t size)
    : data_(data), size_(size), thread_([this] { run(); })
{
}

background_payload_check::~background_payload_check()
{
    stop();
    thread_.join();
}

void background_payload_check::stop() noexcept
{
    std::lock_guard lock(mutex_);
    stop_requested_ = true;
}

bool background_payload_check::wait(const progress_callback& while_waiting)
{
    {
        std::lock_guard lock(mutex_);
        waited_for_ = true;
    }
    for (;;) {
        std::uint64_t done = 0;
        {
            std::unique_lock lock(mutex_);
            if (finished_changed_.wait_for(lock, waiting_slice, [this] { return finished_; }))
                return passed_;
            done = done_;
        }
        if (while_waiting)
            while_waiting(done, size_);
    }
}

void background_payload_check::run() noexcept
{
    // The interface thread comes first: the user is reading the wizard
    // meanwhile. The decoder's workers lower their own priority.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    bool passed = false;
    try {
        reading_buffer buffer(*this);
        std::istream stream(&buffer);
        const unsigned processors = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        passed = check_payload(
            stream,
            [this] {
                std::lock_guard lock(mutex_);
                if (stop_requested_)
                    throw_stopped();
            },
            [this, processors] {
                std::lock_guard lock(mutex_);
                return waited_for_ ? processors : std::max(processors - 1, 1u);
            });
    } catch (...) {
        // Out of memory for the stream: no verdict but "not verified".
        passed = false;
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    passed_ = passed;
    done_ = size_;
    finished_changed_.notify_all();
}
