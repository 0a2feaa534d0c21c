#pragma once
// A bzip2 decoder that decodes the blocks of a stream on worker threads.
//
// bzip2 compresses each block of up to 900 kB on its own, so the blocks of
// one stream can be decoded at the same time once their starts are known.
// The thread that reads (the installer's interface thread) feeds compressed
// bytes in, finds the block starts with bzip2_block_scanner and hands each
// block to a worker, which wraps it into a one-block stream and decodes it
// with libbz2; libbz2 checks the block's CRC. The reading thread takes the
// decoded blocks back in stream order and checks the CRC of the whole stream.
// A magic that occurs by chance inside a block makes the piece before it fail
// to decode; that piece is then joined with the next and decoded again.
//
// Only the reading thread touches the source and the sink; the workers only
// decode. At most a fixed number of blocks is in flight, so memory does not
// grow with the size of the payload. While the reading thread waits for a
// worker it calls the waiting callback every few milliseconds, so that the
// installer can keep its window responsive.
//
// The result is the same as libbz2's, including concatenated streams: input
// that ends early, damaged data, a checksum that does not match or bytes
// after the last stream that do not form another stream raise bzip2_error.
// Unlike libbz2 nothing of a block is handed out before its CRC has been
// checked (except from a block whose output exceeds the buffering limit).

#include "payload/bzip2_error.h"

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/read.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ios>
#include <memory>

struct parallel_bzip2_settings {
    // Decoding threads; 0: one per processor (at most 8).
    unsigned threads = 0;
    // Blocks decoded or waiting to be read at a time; 0: twice the threads.
    unsigned blocks_in_flight = 0;
    // Called on the reading thread, about every wait_slice, while it waits
    // for a worker. It may dispatch window messages; it must not use the
    // decoder.
    std::function<void()> while_waiting;
    std::chrono::milliseconds wait_slice{10};
    // Called first on each decoding thread, for instance to lower its
    // priority below the reading thread's.
    std::function<void()> worker_started;
    // Asked on the reading thread before each block it hands out: a number
    // above the threads running starts more, up to it (at most 8; fewer are
    // never stopped). A decoder that runs beside a user's work starts with
    // few and is given every processor once the user waits for it.
    std::function<unsigned()> threads_wanted;
};

// Counters of one decoder, for tests and measurements.
struct parallel_bzip2_statistics {
    std::uint64_t blocks = 0;          // blocks decoded and verified
    std::uint64_t retries = 0;         // pieces joined after a magic found by chance
    std::uint64_t waits = 0;           // times the reading thread waited for a worker
    std::size_t peak_buffered = 0;     // largest number of bytes held (input and output)
    unsigned threads = 0;
};

class parallel_bzip2_decoder {
public:
    explicit parallel_bzip2_decoder(parallel_bzip2_settings settings = {});
    ~parallel_bzip2_decoder();
    parallel_bzip2_decoder(const parallel_bzip2_decoder&) = delete;
    parallel_bzip2_decoder& operator=(const parallel_bzip2_decoder&) = delete;

    // What the reader must do next.
    enum class step {
        output,   // take() has bytes
        input,    // feed compressed bytes: input_space(), then input_arrived() or input_ended()
        finished, // every stream ended with the input
    };

    // Decides the next step, waiting for the workers when neither output nor
    // a request for input is due. Input comes first while more blocks may be
    // in flight, so that the workers never starve. Raises bzip2_error.
    step next();

    // Copies up to n decoded bytes in stream order; returns how many (not 0
    // after next() said output).
    std::size_t take(char* out, std::size_t n);

    // Room for compressed bytes; its size is input_capacity().
    char* input_space();
    std::size_t input_capacity() const;
    void input_arrived(std::size_t count);
    void input_ended();

    // Forgets the current input; the decoder can then decode a new one.
    void reset();

    parallel_bzip2_statistics statistics() const;

private:
    class impl;
    std::unique_ptr<impl> impl_;
};

// The decoder as a Boost.Iostreams input filter, a drop-in replacement of
// bzip2_decompressor: put it in front of a source with compose or a filtering
// stream and read plain bytes out of it.
class parallel_bzip2_decompressor {
public:
    using char_type = char;
    struct category : boost::iostreams::input,
                      boost::iostreams::filter_tag,
                      boost::iostreams::multichar_tag,
                      boost::iostreams::closable_tag {};

    explicit parallel_bzip2_decompressor(parallel_bzip2_settings settings = {})
        : decoder_(std::make_shared<parallel_bzip2_decoder>(std::move(settings)))
    {
    }

    template <typename Source>
    std::streamsize read(Source& source, char* out, std::streamsize n)
    {
        parallel_bzip2_decoder& d = *decoder_;
        for (;;) {
            switch (d.next()) {
            case parallel_bzip2_decoder::step::output:
                return static_cast<std::streamsize>(d.take(out, static_cast<std::size_t>(n)));
            case parallel_bzip2_decoder::step::input: {
                const std::streamsize got = boost::iostreams::read(
                    source, d.input_space(), static_cast<std::streamsize>(d.input_capacity()));
                if (got < 0)
                    d.input_ended();
                else if (got == 0)
                    return 0; // nothing available now; the caller asks again
                else
                    d.input_arrived(static_cast<std::size_t>(got));
                break;
            }
            case parallel_bzip2_decoder::step::finished:
                return -1;
            }
        }
    }

    template <typename Source>
    void close(Source&)
    {
        decoder_->reset();
    }

    parallel_bzip2_statistics statistics() const { return decoder_->statistics(); }

private:
    // Shared by the copies that Boost.Iostreams makes of a filter.
    std::shared_ptr<parallel_bzip2_decoder> decoder_;
};
