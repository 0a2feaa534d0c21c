#include "payload/parallel_bzip2.h"

#include "payload/bzip2_block_scanner.h"

#include <bzlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

namespace {

// Compressed input is kept in segments of this size; a block refers to the
// segments it lies in, so nothing is copied while the reading thread goes on.
constexpr std::size_t segment_size = 256 * 1024;
// Decoded output travels in chunks of this size.
constexpr std::size_t chunk_size = 256 * 1024;
// A block's output that nobody may read yet (its CRC is not checked) is held
// up to this limit; beyond it the worker waits until the block is the next to
// be read. Ordinary blocks expand to about 900 kB; only long runs of one byte
// value reach the limit.
constexpr std::size_t unverified_output_limit = 4 * 1024 * 1024;

// The largest compressed block that libbz2 can decode at a block size of
// level * 100 kB: every one of at most level * 100000 + 1 symbols takes at
// most 20 bits, plus the tables (a generous 64 kB). A longer piece is no
// block, so the search for its end stops there, which bounds the input held.
constexpr std::uint64_t max_block_bits(int level)
{
    return std::uint64_t(level) * 100000 * 20 + 64 * 1024 * 8;
}

// The shortest piece that can hold a block: its magic and its CRC.
constexpr std::uint64_t block_header_bits = 48 + 32;

struct segment {
    std::uint64_t base = 0; // offset in the input of data[0]
    std::unique_ptr<unsigned char[]> data = std::make_unique<unsigned char[]>(segment_size);
    std::size_t size = 0;
};

struct chunk {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
};

// Keeps the blocks that libbz2 allocates for one worker (its state and its
// 3.6 MB table) from one block to the next instead of returning them to the
// heap after every block.
class allocation_cache {
public:
    allocation_cache() = default;
    allocation_cache(const allocation_cache&) = delete;
    allocation_cache& operator=(const allocation_cache&) = delete;
    ~allocation_cache()
    {
        for (const entry& e : free_)
            std::free(e.pointer);
    }

    static void* allocate(void* opaque, int items, int size)
    {
        auto& self = *static_cast<allocation_cache*>(opaque);
        const std::size_t bytes = std::size_t(items) * std::size_t(size);
        for (auto it = self.free_.begin(); it != self.free_.end(); ++it) {
            if (it->bytes == bytes) {
                void* p = it->pointer;
                self.free_.erase(it);
                self.used_.push_back({p, bytes});
                return p;
            }
        }
        void* p = std::malloc(bytes);
        if (p)
            self.used_.push_back({p, bytes});
        return p;
    }

    static void release(void* opaque, void* pointer)
    {
        auto& self = *static_cast<allocation_cache*>(opaque);
        auto it = std::find_if(self.used_.begin(), self.used_.end(),
                               [pointer](const entry& e) { return e.pointer == pointer; });
        if (it == self.used_.end()) {
            std::free(pointer);
            return;
        }
        const entry e = *it;
        self.used_.erase(it);
        if (self.free_.size() < 4)
            self.free_.push_back(e);
        else
            std::free(e.pointer);
    }

private:
    struct entry {
        void* pointer;
        std::size_t bytes;
    };
    std::vector<entry> free_;
    std::vector<entry> used_;
};

// Writes bits into a zeroed buffer, most significant bit first.
void put_bits(unsigned char* buffer, std::uint64_t bit, std::uint64_t value, unsigned count)
{
    for (unsigned i = 0; i < count; ++i, ++bit)
        if ((value >> (count - 1 - i)) & 1)
            buffer[bit / 8] |= static_cast<unsigned char>(0x80u >> (bit % 8));
}

} // namespace

class parallel_bzip2_decoder::impl {
public:
    explicit impl(parallel_bzip2_settings settings);
    ~impl();

    step next();
    std::size_t take(char* out, std::size_t n);
    char* input_space();
    std::size_t input_capacity() const;
    void input_arrived(std::size_t count);
    void input_ended();
    void reset();
    parallel_bzip2_statistics statistics() const;

private:
    // One piece of the input between two candidate magics, believed to be a
    // block until its decode says otherwise.
    struct job {
        enum class state_type { queued, running, done, failed };
        std::uint64_t start = 0; // bit of its block magic
        std::uint64_t end = 0;   // bit of the magic that follows
        bzip2_boundary::kind_type end_kind = bzip2_boundary::block;
        int level = 9;
        std::vector<std::shared_ptr<const segment>> segments;
        // Guarded by the decoder's mutex from here on.
        state_type state = state_type::queued;
        std::deque<chunk> output;
        std::size_t buffered = 0; // bytes in output
        std::uint32_t crc = 0;    // the block's stored CRC, known when done
        int code = BZ_OK;         // libbz2's error when failed
        bool error_only = false;  // stands for a fault of the stream around the blocks
        bool delivering = false;  // read before its end (too large to hold)
        bool cancelled = false;
        bool confirmed = false;   // its CRC is in the stream's CRC
    };

    // Where the search for blocks stands.
    enum class phase_type {
        header,       // a stream header is due at header_byte_
        in_stream,    // a block starts at open_start_; looking for its end
        stream_end,   // the last piece ended at a candidate end magic: wait until it decodes
        finished,     // the input ended after a complete stream
        failed,       // an error job ends the list
    };

    void start_threads();
    void worker_main();
    void decode(job& j, allocation_cache& cache, std::vector<unsigned char>& raw,
                std::vector<unsigned char>& wrapped);

    bool can_read_more() const;
    bool available(std::uint64_t bit_end) const { return input_end_ * 8 >= bit_end; }
    std::uint64_t input_bits(std::uint64_t bit, unsigned count) const;
    void build();
    void build_header();
    void add_job(std::uint64_t start, const bzip2_boundary& end);
    void add_error(int code);
    void confirm(job& head);
    void head_failed(const job& head);
    void cancel_all(std::unique_lock<std::mutex>& lock);
    void release_chunk(chunk&& c);
    void prune();
    void note_buffered();

    parallel_bzip2_settings settings_;
    unsigned threads_ = 1;
    unsigned in_flight_ = 2;

    // Shared with the workers.
    mutable std::mutex mutex_;
    std::condition_variable work_ready_;  // workers wait here
    std::condition_variable block_ready_; // the reading thread waits here
    std::deque<std::shared_ptr<job>> queue_;
    std::vector<chunk> spare_chunks_;
    std::size_t chunks_allocated_ = 0;
    bool stop_ = false;
    std::vector<std::thread> workers_;
    parallel_bzip2_statistics stats_;

    // The reading thread's own state.
    std::deque<std::shared_ptr<segment>> segments_;
    std::uint64_t input_end_ = 0; // bytes received
    bool input_ended_ = false;
    bzip2_block_scanner scanner_;
    std::vector<bzip2_boundary> found_;
    std::deque<bzip2_boundary> candidates_;
    phase_type phase_ = phase_type::header;
    std::uint64_t header_byte_ = 0;
    unsigned streams_ = 0;
    int level_ = 9;
    std::uint64_t open_start_ = 0;
    std::uint64_t skip_until_ = 0; // candidates at or below this bit do not end a block
    std::uint32_t stream_crc_ = 0;
    std::deque<std::shared_ptr<job>> jobs_;
    chunk current_;
    std::size_t current_offset_ = 0;
};

parallel_bzip2_decoder::impl::impl(parallel_bzip2_settings settings) : settings_(std::move(settings))
{
    unsigned threads = settings_.threads;
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    threads_ = threads;
    in_flight_ = settings_.blocks_in_flight ? std::max(settings_.blocks_in_flight, 1u) : std::max(2 * threads_, 2u);
    if (settings_.wait_slice <= std::chrono::milliseconds::zero())
        settings_.wait_slice = std::chrono::milliseconds(10);
    stats_.threads = threads_;
}

parallel_bzip2_decoder::impl::~impl()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        for (auto& j : jobs_)
            j->cancelled = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void parallel_bzip2_decoder::impl::start_threads()
{
    if (!workers_.empty())
        return;
    workers_.reserve(threads_);
    try {
        for (unsigned i = 0; i < threads_; ++i)
            workers_.emplace_back([this] { worker_main(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for still decode; none at all cannot.
        if (workers_.empty())
            throw;
    }
}

void parallel_bzip2_decoder::impl::worker_main()
{
    if (settings_.worker_started)
        settings_.worker_started();
    allocation_cache cache;
    std::vector<unsigned char> raw, wrapped;
    for (;;) {
        std::shared_ptr<job> j;
        {
            std::unique_lock lock(mutex_);
            work_ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            j = std::move(queue_.front());
            queue_.pop_front();
            j->state = job::state_type::running;
        }
        try {
            decode(*j, cache, raw, wrapped);
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(mutex_);
            j->state = job::state_type::failed;
            j->code = BZ_MEM_ERROR;
        }
        block_ready_.notify_all();
    }
}

// Wraps the piece into a stream of its own: the stream header, the piece's
// bits moved to a byte boundary, an end magic and, as the stream's CRC, the
// block's own CRC (the CRC of a one-block stream is its block's). libbz2 then
// checks the block's CRC against its data, and a piece cut short at a magic
// found by chance fails.
void parallel_bzip2_decoder::impl::decode(job& j, allocation_cache& cache, std::vector<unsigned char>& raw,
                                         std::vector<unsigned char>& wrapped)
{
    const std::uint64_t first_byte = j.start / 8;
    const std::uint64_t last_byte = (j.end + 7) / 8;
    raw.resize(std::size_t(last_byte - first_byte));
    // The piece's bytes were in place before it was queued; the reading thread
    // may be filling the rest of its last segment meanwhile (so its size is
    // not read here).
    for (const auto& s : j.segments) {
        const std::uint64_t from = std::max(first_byte, s->base);
        const std::uint64_t to = std::min(last_byte, s->base + segment_size);
        if (from < to)
            std::memcpy(raw.data() + (from - first_byte), s->data.get() + (from - s->base), std::size_t(to - from));
    }
    const unsigned shift = unsigned(j.start % 8);
    const std::uint64_t bits = j.end - j.start;
    const auto crc = static_cast<std::uint32_t>(read_bits(raw.data(), shift + 48, 32));

    wrapped.assign(std::size_t(4 + (bits + 48 + 32 + 7) / 8), 0);
    wrapped[0] = 'B';
    wrapped[1] = 'Z';
    wrapped[2] = 'h';
    wrapped[3] = static_cast<unsigned char>('0' + j.level);
    copy_bits(raw.data(), shift, bits, wrapped.data() + 4);
    put_bits(wrapped.data(), 32 + bits, bzip2_end_magic, 48);
    put_bits(wrapped.data(), 32 + bits + 48, crc, 32);

    bz_stream s{};
    s.bzalloc = &allocation_cache::allocate;
    s.bzfree = &allocation_cache::release;
    s.opaque = &cache;
    if (const int rc = BZ2_bzDecompressInit(&s, 0, 0); rc != BZ_OK) {
        std::lock_guard lock(mutex_);
        j.state = job::state_type::failed;
        j.code = rc;
        return;
    }
    // libbz2's state goes back however this ends, an allocation that fails
    // below included.
    struct decompress_end {
        bz_stream& s;
        ~decompress_end() { BZ2_bzDecompressEnd(&s); }
    } end_guard{s};
    s.next_in = reinterpret_cast<char*>(wrapped.data());
    s.avail_in = static_cast<unsigned>(wrapped.size());
    for (;;) {
        chunk c;
        {
            std::lock_guard lock(mutex_);
            if (!spare_chunks_.empty()) {
                c = std::move(spare_chunks_.back());
                spare_chunks_.pop_back();
            }
        }
        if (!c.data) {
            c.data = std::make_unique<char[]>(chunk_size);
            std::lock_guard lock(mutex_);
            ++chunks_allocated_;
        }
        s.next_out = c.data.get();
        s.avail_out = static_cast<unsigned>(chunk_size);
        const unsigned in_before = s.avail_in;
        const int rc = BZ2_bzDecompress(&s);
        c.size = chunk_size - s.avail_out;
        const bool stalled = rc == BZ_OK && c.size == 0 && (s.avail_in == 0 || s.avail_in == in_before);

        std::unique_lock lock(mutex_);
        if (j.cancelled || stop_) {
            c.size = 0;
            spare_chunks_.push_back(std::move(c));
            break;
        }
        if (c.size != 0) {
            j.buffered += c.size;
            j.output.push_back(std::move(c));
        } else {
            spare_chunks_.push_back(std::move(c));
        }
        if (rc == BZ_STREAM_END) {
            j.crc = crc;
            j.state = job::state_type::done;
            break;
        }
        if (rc != BZ_OK || stalled) {
            // The piece ended inside the data (stalled) or the data is wrong.
            j.state = job::state_type::failed;
            j.code = rc != BZ_OK ? rc : BZ_UNEXPECTED_EOF;
            break;
        }
        if (j.delivering || j.buffered >= unverified_output_limit)
            block_ready_.notify_all();
        work_ready_.wait(lock, [&] { return j.buffered < unverified_output_limit || j.cancelled || stop_; });
    }
}

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
