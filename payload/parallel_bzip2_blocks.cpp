// The reading thread's side of the input: compressed bytes kept in segments,
// the stream headers checked and the input cut into pieces at the block
// magics that the scanner finds, each piece queued for a worker.

#include "payload/parallel_bzip2_impl.h"

#include <algorithm>
#include <iterator>

using namespace parallel_bzip2_detail;

bool parallel_bzip2_decoder::impl::can_read_more() const
{
    if (input_ended_ || phase_ == phase_type::finished || phase_ == phase_type::failed)
        return false;
    if (jobs_.size() >= in_flight_)
        return false;
    const std::uint64_t held = segments_.empty() ? 0 : input_end_ - segments_.front()->base;
    return held < max_block_bits(9) / 8 + in_flight_ * std::uint64_t(1280 * 1024);
}

std::uint64_t parallel_bzip2_decoder::impl::input_bits(std::uint64_t bit, unsigned count) const
{
    std::uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i, ++bit) {
        const std::uint64_t byte = bit / 8;
        // Few bits are read this way (CRCs and headers), one at a time.
        auto it = std::upper_bound(segments_.begin(), segments_.end(), byte,
                                   [](std::uint64_t b, const std::shared_ptr<segment>& s) { return b < s->base; });
        const segment& s = **std::prev(it);
        value = (value << 1) | ((s.data[std::size_t(byte - s.base)] >> (7 - bit % 8)) & 1);
    }
    return value;
}

char* parallel_bzip2_decoder::impl::input_space()
{
    if (segments_.empty() || segments_.back()->size == segment_size) {
        auto s = std::make_shared<segment>();
        s->base = input_end_;
        segments_.push_back(std::move(s));
        note_buffered();
    }
    segment& s = *segments_.back();
    return reinterpret_cast<char*>(s.data.get() + s.size);
}

std::size_t parallel_bzip2_decoder::impl::input_capacity() const
{
    // A full last segment is followed by a new one in input_space().
    return segments_.empty() || segments_.back()->size == segment_size ? segment_size
                                                                       : segment_size - segments_.back()->size;
}

void parallel_bzip2_decoder::impl::input_arrived(std::size_t count)
{
    segment& s = *segments_.back();
    found_.clear();
    scanner_.scan(s.data.get() + s.size, count, found_);
    s.size += count;
    input_end_ += count;
    candidates_.insert(candidates_.end(), found_.begin(), found_.end());
    build();
}

void parallel_bzip2_decoder::impl::input_ended()
{
    input_ended_ = true;
    build();
}

void parallel_bzip2_decoder::impl::build()
{
    for (;;) {
        switch (phase_) {
        case phase_type::header: {
            const phase_type before = phase_;
            const std::uint64_t header_before = header_byte_;
            build_header();
            if (phase_ == before && header_byte_ == header_before)
                return; // waiting for input
            break;
        }
        case phase_type::in_stream: {
            const std::uint64_t limit = open_start_ + max_block_bits(level_);
            auto it = std::find_if(candidates_.begin(), candidates_.end(), [this](const bzip2_boundary& c) {
                return c.bit > skip_until_ && c.bit >= open_start_ + block_header_bits;
            });
            if (it == candidates_.end() || it->bit > limit) {
                // A magic is reported once its 48 bits have been read: one
                // that starts at the limit is known only 48 bits later.
                if (it != candidates_.end() || scanner_.bytes_scanned() * 8 > limit + 48)
                    add_error(BZ_DATA_ERROR); // no block is this long
                else if (input_ended_)
                    add_error(BZ_UNEXPECTED_EOF);
                return;
            }
            const bzip2_boundary end = *it;
            add_job(open_start_, end);
            if (end.kind == bzip2_boundary::block) {
                open_start_ = skip_until_ = end.bit;
            } else {
                // The stream may end here, or the end magic occurred by
                // chance inside a block: only the decode of this piece tells.
                phase_ = phase_type::stream_end;
                return;
            }
            break;
        }
        case phase_type::stream_end:
        case phase_type::finished:
        case phase_type::failed:
            return;
        }
    }
}

// A stream header is due at header_byte_: "BZh" and the block size digit,
// directly followed by the first block or by the end magic.
void parallel_bzip2_decoder::impl::build_header()
{
    if (!available((header_byte_ + 1) * 8)) {
        if (input_ended_) {
            if (streams_ > 0 && input_end_ == header_byte_)
                phase_ = phase_type::finished;
            else
                add_error(BZ_UNEXPECTED_EOF);
        }
        return;
    }
    // Check byte by byte as libbz2 does, so that a wrong first byte is a
    // wrong header even in a short input.
    static constexpr char signature[] = {'B', 'Z', 'h'};
    for (unsigned i = 0; i < 4; ++i) {
        if (!available((header_byte_ + i + 1) * 8)) {
            if (input_ended_)
                add_error(BZ_UNEXPECTED_EOF);
            return;
        }
        const auto byte = static_cast<char>(input_bits((header_byte_ + i) * 8, 8));
        if (i < 3 ? byte != signature[i] : byte < '1' || byte > '9') {
            add_error(BZ_DATA_ERROR_MAGIC);
            return;
        }
    }
    const std::uint64_t first = (header_byte_ + 4) * 8;
    if (scanner_.bytes_scanned() * 8 < first + 48) {
        if (input_ended_)
            add_error(BZ_UNEXPECTED_EOF);
        return;
    }
    while (!candidates_.empty() && candidates_.front().bit < first)
        candidates_.pop_front();
    if (candidates_.empty() || candidates_.front().bit != first) {
        add_error(BZ_DATA_ERROR);
        return;
    }
    level_ = int(input_bits((header_byte_ + 3) * 8, 8)) - '0';
    stream_crc_ = 0;
    if (candidates_.front().kind == bzip2_boundary::block) {
        open_start_ = skip_until_ = first;
        phase_ = phase_type::in_stream;
        return;
    }
    // A stream without blocks: its CRC must be 0.
    if (!available(first + 80)) {
        if (input_ended_)
            add_error(BZ_UNEXPECTED_EOF);
        return;
    }
    if (input_bits(first + 48, 32) != 0) {
        add_error(BZ_DATA_ERROR);
        return;
    }
    ++streams_;
    header_byte_ = (first + 80 + 7) / 8;
}

void parallel_bzip2_decoder::impl::add_job(std::uint64_t start, const bzip2_boundary& end)
{
    start_threads();
    if (settings_.threads_wanted)
        start_wanted_threads();
    auto j = std::make_shared<job>();
    j->start = start;
    j->end = end.bit;
    j->end_kind = end.kind;
    j->level = level_;
    const std::uint64_t first_byte = start / 8;
    const std::uint64_t last_byte = (end.bit + 7) / 8;
    for (const auto& s : segments_)
        if (s->base < last_byte && s->base + s->size > first_byte)
            j->segments.push_back(s);
    jobs_.push_back(j);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(j));
    }
    work_ready_.notify_one();
}

void parallel_bzip2_decoder::impl::add_error(int code)
{
    auto j = std::make_shared<job>();
    j->state = job::state_type::failed;
    j->error_only = true;
    j->code = code;
    jobs_.push_back(std::move(j));
    phase_ = phase_type::failed;
}

// Drops the input and the candidates that no piece can need again: those
// before the first piece still to be read.
void parallel_bzip2_decoder::impl::prune()
{
    std::uint64_t keep_bit = 0;
    if (!jobs_.empty() && !jobs_.front()->error_only)
        keep_bit = jobs_.front()->start;
    else if (phase_ == phase_type::in_stream)
        keep_bit = open_start_;
    else if (phase_ == phase_type::header)
        keep_bit = header_byte_ * 8;
    else
        return;
    const std::uint64_t keep_byte = keep_bit / 8;
    while (segments_.size() > 1 && segments_[1]->base <= keep_byte)
        segments_.pop_front();
    while (!candidates_.empty() && candidates_.front().bit < keep_bit)
        candidates_.pop_front();
}

void parallel_bzip2_decoder::impl::note_buffered()
{
    std::lock_guard lock(mutex_);
    const std::size_t held = segments_.size() * segment_size + chunks_allocated_ * chunk_size;
    stats_.peak_buffered = std::max(stats_.peak_buffered, held);
}
