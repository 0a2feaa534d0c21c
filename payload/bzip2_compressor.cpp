#include "payload/bzip2_compressor.h"

#include "payload/bzip2_error.h"

#include <bzlib.h>

#include <algorithm>
#include <limits>
#include <sstream>

struct bzip2_compressor::library_state {
    bz_stream stream{};
    char buffer[64 * 1024];
};

bzip2_compressor::bzip2_compressor(std::ostream& out, int block_size_100k)
    : bz_(std::make_unique<library_state>()), out_(out)
{
    // verbosity 0, default work factor: the settings of the bzip2 tool.
    const int rc = BZ2_bzCompressInit(&bz_->stream, block_size_100k, 0, 0);
    if (rc != BZ_OK)
        throw bzip2_error(rc);
}

bzip2_compressor::~bzip2_compressor()
{
    BZ2_bzCompressEnd(&bz_->stream);
}

void bzip2_compressor::pump(int action)
{
    bz_stream& s = bz_->stream;
    for (;;) {
        s.next_out = bz_->buffer;
        s.avail_out = sizeof bz_->buffer;
        const int rc = BZ2_bzCompress(&s, action);
        if (rc < 0)
            throw bzip2_error(rc);
        out_.write(bz_->buffer, static_cast<std::streamsize>(sizeof bz_->buffer - s.avail_out));
        if (!out_)
            throw std::ios_base::failure("bzip2 output");
        if (action == BZ_RUN ? s.avail_in == 0 : rc == BZ_STREAM_END)
            return;
    }
}

void bzip2_compressor::write(const char* data, std::size_t n)
{
    if (finished_)
        throw bzip2_error(BZ_SEQUENCE_ERROR);
    while (n > 0) {
        const std::size_t piece = std::min<std::size_t>(n, std::numeric_limits<unsigned>::max());
        bz_->stream.next_in = const_cast<char*>(data);
        bz_->stream.avail_in = static_cast<unsigned>(piece);
        pump(BZ_RUN);
        data += piece;
        n -= piece;
    }
}

void bzip2_compressor::finish()
{
    if (finished_)
        return;
    bz_->stream.next_in = nullptr;
    bz_->stream.avail_in = 0;
    pump(BZ_FINISH);
    finished_ = true;
}

std::string bzip2_compress(std::string_view data, int block_size_100k)
{
    std::ostringstream out(std::ios::binary);
    bzip2_compressor compressor(out, block_size_100k);
    compressor.write(data.data(), data.size());
    compressor.finish();
    return std::move(out).str();
}
