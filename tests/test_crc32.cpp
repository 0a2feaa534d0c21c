// The CRC-32 of the archive entries: the standard check value.

#include "payload/crc32.h"

#include <gtest/gtest.h>

TEST(Crc32, GivesTheStandardCheckValue)
{
    crc32 crc;
    crc.process_bytes("123456789", 9);
    EXPECT_EQ(crc.checksum(), 0xCBF43926u);
    EXPECT_EQ(crc32().checksum(), 0u);
}
