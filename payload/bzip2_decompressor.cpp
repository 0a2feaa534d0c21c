#include "payload/bzip2_decompressor.h"

#include <bzlib.h>

#include <limits>

struct bzip2_decompressor::decoder::library_state {
    bz_stream stream{};
    bool initialised = false;

    void init()
    {
        stream = bz_stream{};
        // verbosity 0, small-memory mode off: the faster algorithm, about
        // 3.5 MB for a stream of block size 9.
        const int rc = BZ2_bzDecompressInit(&stream, 0, 0);
        if (rc != BZ_OK)
            throw bzip2_error(rc);
        initialised = true;
    }

    void end() noexcept
    {
        if (initialised)
            BZ2_bzDecompressEnd(&stream);
        initialised = false;
    }
};

bzip2_decompressor::bzip2_decompressor(std::size_t buffer_size)
    : decoder_(std::make_shared<decoder>(buffer_size))
{
}

bzip2_decompressor::decoder::decoder(std::size_t buffer_size)
    : bz_(std::make_unique<library_state>()),
      input_(std::make_unique<char[]>(buffer_size ? buffer_size : 1)),
      capacity_(buffer_size ? buffer_size : 1)
{
}

bzip2_decompressor::decoder::~decoder()
{
    bz_->end();
}

bool bzip2_decompressor::decoder::needs_input() const noexcept
{
    return available_ == 0 && !source_ended_;
}

void bzip2_decompressor::decoder::input_arrived(std::size_t count) noexcept
{
    next_ = input_.get();
    available_ = count;
}

std::size_t bzip2_decompressor::decoder::decode(char* out, std::size_t n)
{
    if (finished_)
        return 0;
    if (stream_ended_) {
        // Another stream may follow the one that ended; only more input can
        // tell.
        if (available_ == 0) {
            finished_ = source_ended_;
            return 0;
        }
        bz_->end();
        stream_ended_ = false;
    }
    if (!bz_->initialised)
        bz_->init();
    if (n > std::numeric_limits<unsigned>::max())
        n = std::numeric_limits<unsigned>::max();

    bz_stream& s = bz_->stream;
    s.next_in = const_cast<char*>(next_);
    s.avail_in = static_cast<unsigned>(available_);
    s.next_out = out;
    s.avail_out = static_cast<unsigned>(n);
    const int rc = BZ2_bzDecompress(&s);
    const std::size_t consumed = available_ - s.avail_in;
    const std::size_t produced = n - s.avail_out;
    next_ += consumed;
    available_ -= consumed;

    if (rc == BZ_STREAM_END) {
        stream_ended_ = true;
        finished_ = available_ == 0 && source_ended_;
    } else if (rc != BZ_OK) {
        throw bzip2_error(rc);
    } else if (consumed == 0 && produced == 0 && available_ == 0 && source_ended_) {
        // The input is exhausted and the stream has not reached its end.
        throw bzip2_error(BZ_UNEXPECTED_EOF);
    }
    return produced;
}

void bzip2_decompressor::decoder::reset() noexcept
{
    bz_->end();
    next_ = nullptr;
    available_ = 0;
    source_ended_ = false;
    stream_ended_ = false;
    finished_ = false;
}
