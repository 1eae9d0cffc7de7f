#include <gtest/gtest.h>
#include "cipher/Keystream.h"
TEST(KeystreamSmoke, Builds) { EXPECT_EQ(kolvik::BuildKeyTable("").code[3], 3); }
