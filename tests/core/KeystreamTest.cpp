// Expected bytes were worked out by hand from v = F*m - B^e + D + p and |v| mod 256.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cipher/Keystream.h"

namespace kolvik {
namespace {

struct ByteCase {
    const char* key;
    std::int64_t p;
    int expected;
};

class KeystreamByteTable : public testing::TestWithParam<ByteCase> {};

TEST_P(KeystreamByteTable, MatchesHandWorkedValue) {
    const ByteCase c = GetParam();
    EXPECT_EQ(KeystreamByte(BuildKeyTable(c.key), c.p), c.expected) << c.key << " at " << c.p;
}

INSTANTIATE_TEST_SUITE_P(
    HandWorked, KeystreamByteTable,
    testing::Values(
        // Empty key: every entry keeps its index code.
        ByteCase{"", 10, 15}, ByteCase{"", 11, 17},  // v = -17: the sign is dropped
        ByteCase{"", 12, 27}, ByteCase{"", 16, 25},
        ByteCase{"", 13, 39},  // base 0, exponent 1: the power term is 0
        ByteCase{"", 21, 40},  // base 0, exponent 0: the power term is 1
        // Short key: entries 4 to 7 keep their index codes.
        ByteCase{"abc", 10, 111}, ByteCase{"abc", 11, 17},
        ByteCase{"abc", 14, 45},  // v = -9261: 45, not the floor remainder 211
        // Seven characters, and keys that only add an eighth or later character.
        ByteCase{"ABCDEFG", 10, 79}, ByteCase{"ABCDEFGH", 10, 79}, ByteCase{"ABCDEFGHIJK", 10, 79},
        // Windows-1252 codes: e-acute is 233, the euro sign 128.
        ByteCase{"\xC3\xA9\xE2\x82\xAC", 14, 221}, ByteCase{"\xC3\xA9\xE2\x82\xAC", 15, 18},
        ByteCase{"\xC3\xA9\xE2\x82\xAC", 22, 180}, ByteCase{"\xC3\xA9\xE2\x82\xAC", 23, 229}));

TEST(CheckByte, EmptyKeyWithThreeCharacterExtension) {
    const KeyTable t = BuildKeyTable("");
    const int expected[8] = {7, 9, 201, 23, 35, 12, 7, 18};  // positions 5 to 12
    for (int k = 0; k < 8; ++k) EXPECT_EQ(CheckByte(t, 5 + k, 3), expected[k]) << "p = " << 5 + k;
}

TEST(CheckByte, HandWorkedValues) {
    EXPECT_EQ(CheckByte(BuildKeyTable("abc"), 6, 3), 87);
    EXPECT_EQ(CheckByte(BuildKeyTable("abc"), 9, 3), 131);
    // 255 ^ 3, the largest power term: v = -16,581,357.
    EXPECT_EQ(CheckByte(BuildKeyTable("x\xC3\xBF"), 11, 0), 237);
}

TEST(CheckByte, DependsOnExtensionLength) {
    const KeyTable t = BuildKeyTable("");
    EXPECT_EQ(CheckByte(t, 6, 3), 9);
    EXPECT_EQ(CheckByte(t, 6, 0), 6);
}

TEST(TransportKeyByte, FixedKeyHandWorked) {
    const KeyTable t = BuildKeyTable("Velmora");
    EXPECT_EQ(TransportKeyByte(t, 1), 102);
    EXPECT_EQ(TransportKeyByte(t, 2), 134);  // v = -9094
    EXPECT_EQ(TransportKeyByte(t, 3), 73);   // 0 ^ 0 = 1
}

TEST(KeyTable, UnrepresentableCharacterCountsAsQuestionMark) {
    EXPECT_EQ(BuildKeyTable("\xE6\xBC\xA2").code[1], '?');
    EXPECT_EQ(BuildKeyTable("ab").code[3], 3);
}

TEST(KeyTable, EighthAndLaterCharactersChangeNoByte) {
    const KeyTable a = BuildKeyTable("Geheim1X"), b = BuildKeyTable("Geheim1Y"),
                   c = BuildKeyTable("Geheim1"), d = BuildKeyTable("Geheim2");
    bool differsFromOtherSeventh = false;
    for (std::int64_t p = 10; p < 3000; ++p) {
        ASSERT_EQ(KeystreamByte(a, p), KeystreamByte(b, p));
        ASSERT_EQ(KeystreamByte(a, p), KeystreamByte(c, p));
        differsFromOtherSeventh |= KeystreamByte(a, p) != KeystreamByte(d, p);
    }
    for (std::int64_t p = 2; p < 265; ++p) ASSERT_EQ(CheckByte(a, p, 0), CheckByte(b, p, 0));
    EXPECT_TRUE(differsFromOtherSeventh);
}

// The block function must give the per-byte function's bytes everywhere: near the start,
// where v can be negative, far beyond it, and past the 32-bit range.
TEST(KeystreamBlock, EqualsPerByteFunctionAtRandomPositionsAndLengths) {
    std::mt19937_64 rng(20261206);
    const char* keys[] = {"", "abc", "\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF", "Velmora",
                          "p@ss w0rd!"};
    const std::int64_t regions[] = {1, 60000, 1 << 20, (std::int64_t{1} << 31) - 5000,
                                    (std::int64_t{1} << 33) + 17};
    for (const char* key : keys) {
        const KeyTable table = BuildKeyTable(key);
        const Keystream ks(table);
        for (std::int64_t base : regions) {
            for (int trial = 0; trial < 20; ++trial) {
                const std::int64_t start = base + static_cast<std::int64_t>(rng() % 70000);
                const std::size_t len = rng() % 9000;
                std::vector<std::uint8_t> data(len);
                for (auto& b : data) b = static_cast<std::uint8_t>(rng());
                std::vector<std::uint8_t> expected = data;
                for (std::size_t k = 0; k < len; ++k)
                    expected[k] ^= KeystreamByte(table, start + static_cast<std::int64_t>(k));
                ks.Apply(data.data(), data.size(), start);
                ASSERT_EQ(data, expected) << "key " << key << " from " << start << " len " << len;
            }
        }
    }
}

}  // namespace
}  // namespace kolvik
