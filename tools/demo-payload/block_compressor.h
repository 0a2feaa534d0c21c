#pragma once
// bzip2 compression of a whole buffer on several threads, giving exactly the
// bytes that libbz2 writes when it compresses the buffer in one stream.
//
// libbz2 cuts its input into blocks by a rule that depends only on the input
// (the first run-length stage fills a block up to a fixed number of bytes),
// starts every block afresh, and a stream is the header "BZh" + level, the
// blocks back to back at bit granularity, an end marker and the combined
// CRC of the blocks. So the blocks can be compressed separately, each as a
// stream of its own, and spliced together bit by bit.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The lengths of the input pieces that libbz2 puts into its successive
// blocks at this level (1 to 9). Their sum is data.size(); empty for empty data.
std::vector<std::size_t> bzip2_block_lengths(std::string_view data, int block_size_100k);

// One bzip2 stream of data, byte for byte what libbz2 gives for the whole
// buffer. threads 0 means one per processor. Raises std::runtime_error when
// libbz2 fails or a block does not come out as one block.
std::string compress_bzip2_parallel(std::string_view data, int block_size_100k = 9, unsigned threads = 0);
