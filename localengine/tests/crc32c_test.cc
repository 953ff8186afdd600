#include "crc32c.h"

#include <gtest/gtest.h>

TEST(Crc32c, Placeholder) { EXPECT_EQ(localengine::crc32c(0, "123456789", 9), 0xE3069283u); }
