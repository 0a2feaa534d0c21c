// The reading thread's side of the output: the decoded pieces are taken
// back in stream order, each block's CRC counted into the stream's and the
// stream's checked at its end; a piece that failed is joined with the next.

#include "payload/parallel_bzip2_impl.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace parallel_bzip2_detail;

// The head piece decoded: its block counts in the stream's CRC, and when it
// ended at an end magic, that magic was real and the stream's CRC follows it.
void parallel_bzip2_decoder::impl::confirm(job& head)
{
    stream_crc_ = ((stream_crc_ << 1) | (stream_crc_ >> 31)) ^ head.crc;
    head.confirmed = true;
    {
        std::lock_guard lock(mutex_);
        ++stats_.blocks;
    }
    if (head.end_kind != bzip2_boundary::end)
        return;
    if (input_bits(head.end + 48, 32) != stream_crc_)
        throw bzip2_error(BZ_DATA_ERROR);
    ++streams_;
    header_byte_ = (head.end + 80 + 7) / 8;
    phase_ = phase_type::header;
    build();
}

// The head piece did not decode. If a magic found by chance cut a block
// short, the piece and the next one together are the block: decode again from
// the same start up to the candidate after the failed piece's end. The pieces
// after it are dropped with it; a real damage fails again, until the piece
// would be longer than any block.
void parallel_bzip2_decoder::impl::head_failed(const job& head)
{
    // Memory ran out while decoding: no fault of the data, so neither a
    // magic found by chance nor a bzip2 error. Raised as what it is.
    if (head.code == BZ_MEM_ERROR)
        throw std::bad_alloc();
    if (head.error_only || head.delivering)
        throw bzip2_error(head.code);
    std::unique_lock lock(mutex_);
    ++stats_.retries;
    cancel_all(lock);
    lock.unlock();
    phase_ = phase_type::in_stream;
    open_start_ = head.start;
    skip_until_ = head.end;
    level_ = head.level;
    build();
}

void parallel_bzip2_decoder::impl::cancel_all(std::unique_lock<std::mutex>&)
{
    for (auto& j : jobs_) {
        j->cancelled = true;
        for (chunk& c : j->output)
            spare_chunks_.push_back(std::move(c));
        j->output.clear();
        j->buffered = 0;
    }
    queue_.clear();
    jobs_.clear();
    work_ready_.notify_all();
}

void parallel_bzip2_decoder::impl::release_chunk(chunk&& c)
{
    if (!c.data)
        return;
    c.size = 0;
    std::lock_guard lock(mutex_);
    spare_chunks_.push_back(std::move(c));
}

parallel_bzip2_decoder::step parallel_bzip2_decoder::impl::next()
{
    // While waiting, the caller's callback runs once per wait slice, however
    // often the workers wake this thread in between.
    auto alive = std::chrono::steady_clock::now();
    for (;;) {
        if (current_offset_ < current_.size)
            return step::output;
        if (can_read_more())
            return step::input;
        if (jobs_.empty()) {
            if (phase_ == phase_type::finished)
                return step::finished;
            if (!input_ended_)
                return step::input;
            // Every end of input leaves a finished phase or an error job.
            throw bzip2_error(BZ_SEQUENCE_ERROR);
        }
        std::shared_ptr<job> head = jobs_.front();
        std::unique_lock lock(mutex_);
        if (head->state == job::state_type::failed) {
            lock.unlock();
            head_failed(*head);
            continue;
        }
        if (head->state == job::state_type::done && !head->confirmed) {
            if (head->end_kind == bzip2_boundary::end && !available(head->end + 80)) {
                lock.unlock();
                if (!input_ended_)
                    return step::input;
                throw bzip2_error(BZ_UNEXPECTED_EOF);
            }
            lock.unlock();
            confirm(*head);
            continue;
        }
        if (head->state != job::state_type::done && head->buffered >= unverified_output_limit)
            head->delivering = true;
        if (!head->output.empty() && (head->state == job::state_type::done || head->delivering)) {
            if (current_.data) {
                current_.size = 0;
                spare_chunks_.push_back(std::move(current_));
            }
            current_ = std::move(head->output.front());
            current_offset_ = 0;
            head->output.pop_front();
            head->buffered -= current_.size;
            if (head->delivering)
                work_ready_.notify_all();
            continue;
        }
        if (head->state == job::state_type::done) {
            lock.unlock();
            jobs_.pop_front();
            prune();
            note_buffered();
            continue;
        }
        // Wait for the workers, and let the caller keep its window alive.
        ++stats_.waits;
        const auto deadline = alive + settings_.wait_slice;
        block_ready_.wait_until(lock, deadline);
        if (std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            if (settings_.while_waiting)
                settings_.while_waiting();
            alive = std::chrono::steady_clock::now();
        }
    }
}

std::size_t parallel_bzip2_decoder::impl::take(char* out, std::size_t n)
{
    const std::size_t count = std::min(n, current_.size - current_offset_);
    if (count != 0) {
        std::memcpy(out, current_.data.get() + current_offset_, count);
        current_offset_ += count;
    }
    return count;
}

void parallel_bzip2_decoder::impl::reset()
{
    {
        std::unique_lock lock(mutex_);
        cancel_all(lock);
    }
    release_chunk(std::move(current_));
    current_ = chunk{};
    current_offset_ = 0;
    segments_.clear();
    input_end_ = 0;
    input_ended_ = false;
    scanner_ = bzip2_block_scanner{};
    candidates_.clear();
    phase_ = phase_type::header;
    header_byte_ = 0;
    streams_ = 0;
    level_ = 9;
    open_start_ = skip_until_ = 0;
    stream_crc_ = 0;
}

parallel_bzip2_statistics parallel_bzip2_decoder::impl::statistics() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

parallel_bzip2_decoder::parallel_bzip2_decoder(parallel_bzip2_settings settings)
    : impl_(std::make_unique<impl>(std::move(settings)))
{
}

parallel_bzip2_decoder::~parallel_bzip2_decoder() = default;

parallel_bzip2_decoder::step parallel_bzip2_decoder::next() { return impl_->next(); }
std::size_t parallel_bzip2_decoder::take(char* out, std::size_t n) { return impl_->take(out, n); }
char* parallel_bzip2_decoder::input_space() { return impl_->input_space(); }
std::size_t parallel_bzip2_decoder::input_capacity() const { return impl_->input_capacity(); }
void parallel_bzip2_decoder::input_arrived(std::size_t count) { impl_->input_arrived(count); }
void parallel_bzip2_decoder::input_ended() { impl_->input_ended(); }
void parallel_bzip2_decoder::reset() { impl_->reset(); }
parallel_bzip2_statistics parallel_bzip2_decoder::statistics() const { return impl_->statistics(); }
