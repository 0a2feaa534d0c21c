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
