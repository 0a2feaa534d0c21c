// The fast CRC-32 against Boost's: the same value for every length and
// alignment and however the bytes are split between calls.

#include "payload/crc32.h"

#include <gtest/gtest.h>

#include <boost/crc.hpp>

#include <random>
#include <string>

TEST(Crc32, GivesTheStandardCheckValue)
{
    crc32 crc;
    crc.process_bytes("123456789", 9);
    EXPECT_EQ(crc.checksum(), 0xCBF43926u);
    EXPECT_EQ(crc32().checksum(), 0u);
}

TEST(Crc32, AgreesWithBoostForEveryLengthOffsetAndSplit)
{
    std::mt19937 rng(42);
    std::string data(5000, '\0');
    for (char& c : data)
        c = static_cast<char>(rng());
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 4096u, 4991u}) {
            boost::crc_32_type expected;
            expected.process_bytes(data.data() + offset, length);
            crc32 whole;
            whole.process_bytes(data.data() + offset, length);
            EXPECT_EQ(whole.checksum(), expected.checksum()) << offset << " " << length;
            crc32 pieces;
            for (std::size_t done = 0, piece = 1; done < length; done += piece, piece = piece * 3 % 11 + 1)
                pieces.process_bytes(data.data() + offset + done, std::min(piece, length - done));
            EXPECT_EQ(pieces.checksum(), expected.checksum()) << offset << " " << length << " in pieces";
        }
    }
}
