#pragma once
// A bzip2 decompressor for Boost.Iostreams, written over the raw libbz2 API
// (Boost's own compiled bzip2 filter does not exist for the Windows builds).
// It models the multi-character input filter concept: put it in front of a
// source with boost::iostreams::compose or a filtering stream and read plain
// bytes out of it.
//
// It behaves like Boost's bzip2_decompressor: small-memory mode off,
// concatenated streams are decoded one after the other, and input that ends
// before an end-of-stream marker (no data at all, or cut short) is an error.
// Every error is thrown as bzip2_error.

#include "payload/bzip2_error.h"

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/read.hpp>

#include <cstddef>
#include <ios>
#include <memory>

class bzip2_decompressor {
public:
    using char_type = char;
    struct category : boost::iostreams::input,
                      boost::iostreams::filter_tag,
                      boost::iostreams::multichar_tag,
                      boost::iostreams::closable_tag {};

    // buffer_size: bytes read from the source at a time.
    explicit bzip2_decompressor(std::size_t buffer_size = 4096);

    template <typename Source>
    std::streamsize read(Source& source, char* out, std::streamsize n)
    {
        decoder& d = *decoder_;
        std::streamsize produced = 0;
        while (produced < n && !d.finished()) {
            if (d.needs_input()) {
                const std::streamsize got =
                    boost::iostreams::read(source, d.input_space(), static_cast<std::streamsize>(d.input_capacity()));
                if (got < 0)
                    d.source_ended();
                else if (got == 0)
                    break; // nothing available now; the caller asks again
                else
                    d.input_arrived(static_cast<std::size_t>(got));
            }
            produced += static_cast<std::streamsize>(d.decode(out + produced, static_cast<std::size_t>(n - produced)));
        }
        return produced == 0 && d.finished() ? -1 : produced;
    }

    // Ends the current run; the filter can then decode a new input.
    template <typename Source>
    void close(Source&)
    {
        decoder_->reset();
    }

private:
    // The libbz2 state and the input buffer, shared by the copies that
    // Boost.Iostreams makes of a filter.
    class decoder {
    public:
        explicit decoder(std::size_t buffer_size);
        ~decoder();
        decoder(const decoder&) = delete;
        decoder& operator=(const decoder&) = delete;

        bool needs_input() const noexcept;
        bool finished() const noexcept { return finished_; }
        char* input_space() noexcept { return input_.get(); }
        std::size_t input_capacity() const noexcept { return capacity_; }
        void input_arrived(std::size_t count) noexcept;
        void source_ended() noexcept { source_ended_ = true; }
        // Decodes into out; returns the bytes produced (possibly 0).
        std::size_t decode(char* out, std::size_t n);
        void reset() noexcept;

    private:
        struct library_state;
        std::unique_ptr<library_state> bz_;
        std::unique_ptr<char[]> input_;
        std::size_t capacity_;
        const char* next_ = nullptr;
        std::size_t available_ = 0;
        bool source_ended_ = false;
        bool stream_ended_ = false;
        bool finished_ = false;
    };

    std::shared_ptr<decoder> decoder_;
};
