#pragma once
// The parallel decoder's inside, shared by its three parts: the search for
// blocks in the input (parallel_bzip2_blocks.cpp), the worker threads that
// decode them (parallel_bzip2_workers.cpp) and the delivery of their output
// in stream order, checked (parallel_bzip2.cpp).

#include "payload/bzip2_block_scanner.h"
#include "payload/parallel_bzip2.h"

#include <bzlib.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel_bzip2_detail {

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

class allocation_cache;

} // namespace parallel_bzip2_detail

class parallel_bzip2_decoder::impl {
public:
    using segment = parallel_bzip2_detail::segment;
    using chunk = parallel_bzip2_detail::chunk;
    using allocation_cache = parallel_bzip2_detail::allocation_cache;

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
    void start_wanted_threads();
    void start_workers(unsigned count);
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
