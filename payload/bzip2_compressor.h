#pragma once
// Streaming bzip2 compression over libbz2, for whoever produces a payload:
// the packer, and the tests that build archives of their own. The installer
// itself only decompresses.

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

class bzip2_compressor {
public:
    // Writes one bzip2 stream to out. block_size_100k is 1 to 9; the
    // installer's payload uses 9.
    explicit bzip2_compressor(std::ostream& out, int block_size_100k = 9);
    ~bzip2_compressor();
    bzip2_compressor(const bzip2_compressor&) = delete;
    bzip2_compressor& operator=(const bzip2_compressor&) = delete;

    void write(const char* data, std::size_t n);
    // Ends the stream; nothing can be written afterwards.
    void finish();

private:
    void pump(int action);

    struct library_state;
    std::unique_ptr<library_state> bz_;
    std::ostream& out_;
    bool finished_ = false;
};

// The whole of data as one bzip2 stream.
std::string bzip2_compress(std::string_view data, int block_size_100k = 9);
