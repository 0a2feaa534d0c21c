#pragma once
// The payload's check run on a thread of its own while the wizard waits for
// its user: by the time Install is clicked the payload is usually verified
// already, and the click waits only for what is left of the check. The
// verdict is the same as check_payload's on the same bytes, and nothing is
// written before it is in.
//
// The check reads the memory it is given (the executable's resource, valid
// for the life of the process) and shares nothing else with the interface
// thread. While no one waits for it, it decodes on all processors but one:
// thread priorities alone do not keep the wizard (and, under Wine, the
// server and the display it talks to) from queueing behind the decoding.
// wait() gives it every processor. It can be stopped at any time: the
// wizard stops it when it closes.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class background_payload_check {
public:
    // Starts checking the bzip2 stream of size bytes at data. Raises
    // std::system_error when no thread can be started.
    background_payload_check(const char* data, std::size_t size);
    // Stops the check if it still runs; returns once its threads are gone.
    ~background_payload_check();
    background_payload_check(const background_payload_check&) = delete;
    background_payload_check& operator=(const background_payload_check&) = delete;

    // Whether this checks exactly these bytes.
    bool covers(const char* data, std::size_t size) const noexcept { return data == data_ && size == size_; }

    // Compressed bytes read so far, of the payload's size.
    using progress_callback = std::function<void(std::uint64_t done, std::uint64_t total)>;

    // Waits for the verdict, with every processor decoding from then on:
    // true when the whole stream decodes without error. Until it is in, calls while_waiting on the calling thread every
    // few milliseconds with the check's progress; what while_waiting raises
    // passes through (the check goes on).
    bool wait(const progress_callback& while_waiting = {});

    // Ends the check early if it still runs; its verdict is then false.
    // Returns at once: the threads end within a block's decoding.
    void stop() noexcept;

private:
    class reading_buffer;
    void run() noexcept;

    const char* const data_;
    const std::size_t size_;
    mutable std::mutex mutex_;
    std::condition_variable finished_changed_;
    bool finished_ = false;
    bool passed_ = false;
    bool stop_requested_ = false;
    bool waited_for_ = false;
    std::uint64_t done_ = 0;
    std::thread thread_; // last: started once everything above is set
};
