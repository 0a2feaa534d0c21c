// The worker threads: each takes a piece believed to be a block from the
// queue and decodes it with libbz2.

#include "payload/parallel_bzip2_impl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace parallel_bzip2_detail {

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

namespace {

// Writes bits into a zeroed buffer, most significant bit first.
void put_bits(unsigned char* buffer, std::uint64_t bit, std::uint64_t value, unsigned count)
{
    for (unsigned i = 0; i < count; ++i, ++bit)
        if ((value >> (count - 1 - i)) & 1)
            buffer[bit / 8] |= static_cast<unsigned char>(0x80u >> (bit % 8));
}

} // namespace

} // namespace parallel_bzip2_detail

using namespace parallel_bzip2_detail;

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
    start_workers(threads_);
}

void parallel_bzip2_decoder::impl::start_workers(unsigned count)
{
    try {
        while (workers_.size() < count)
            workers_.emplace_back([this] { worker_main(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for still decode; none at all cannot.
        if (workers_.empty())
            throw;
    }
}

void parallel_bzip2_decoder::impl::start_wanted_threads()
{
    start_workers(std::min(settings_.threads_wanted(), 8u));
    if (workers_.size() <= threads_)
        return;
    threads_ = unsigned(workers_.size());
    stats_.threads = threads_;
    if (!settings_.blocks_in_flight)
        in_flight_ = 2 * threads_;
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
