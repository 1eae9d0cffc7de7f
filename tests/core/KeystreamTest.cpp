// SPDX-License-Identifier: GPL-3.0-or-later
// Expected bytes were worked out by hand from v = F*m - B^e + D + p and |v| mod 256.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/Keystream.h"

namespace kolvik {
namespace {

using At = std::tuple<const char*, std::int64_t, int>;  // key, position, byte

TEST(KeystreamByte, MatchesHandWorkedValues) {
    const At cases[] = {
        // Empty key: every entry keeps its index code. At 11 v = -17: the sign is dropped; at
        // 13 base 0, exponent 1: the power term is 0; at 21 base 0, exponent 0: it is 1.
        At{"", 10, 15}, At{"", 11, 17}, At{"", 12, 27}, At{"", 16, 25}, At{"", 13, 39},
        At{"", 21, 40},
        // Short key: entries 4 to 7 keep their index codes. At 14 v = -9261: 45, not the
        // floor remainder 211.
        At{"abc", 10, 111}, At{"abc", 11, 17}, At{"abc", 14, 45},
        // Seven characters, and keys that only add an eighth or later character.
        At{"ABCDEFG", 10, 79}, At{"ABCDEFGH", 10, 79}, At{"ABCDEFGHIJK", 10, 79},
        // Windows-1252 codes: e-acute is 233, the euro sign 128.
        At{"\xC3\xA9\xE2\x82\xAC", 14, 221}, At{"\xC3\xA9\xE2\x82\xAC", 15, 18},
        At{"\xC3\xA9\xE2\x82\xAC", 22, 180}, At{"\xC3\xA9\xE2\x82\xAC", 23, 229}};
    for (const auto& [key, p, expected] : cases)
        EXPECT_EQ(KeystreamByte(BuildKeyTable(key), p), expected) << key << " at " << p;
}

TEST(CheckByte, MatchesHandWorkedValues) {
    const KeyTable empty = BuildKeyTable("");
    const int withExtension3[8] = {7, 9, 201, 23, 35, 12, 7, 18};  // positions 5 to 12
    for (int k = 0; k < 8; ++k) EXPECT_EQ(CheckByte(empty, 5 + k, 3), withExtension3[k]) << 5 + k;
    EXPECT_EQ(CheckByte(empty, 6, 0), 6);  // the extension length picks the first entry
    EXPECT_EQ(CheckByte(BuildKeyTable("abc"), 6, 3), 87);
    EXPECT_EQ(CheckByte(BuildKeyTable("abc"), 9, 3), 131);
    // 255 ^ 3, the largest power term: v = -16,581,357.
    EXPECT_EQ(CheckByte(BuildKeyTable("x\xC3\xBF"), 11, 0), 237);
}

TEST(KeyTable, UnrepresentableCharacterCountsAsQuestionMark) {
    EXPECT_EQ(BuildKeyTable("\xE6\xBC\xA2").code[1], '?');
}

// The block function must give the per-byte function's bytes everywhere: near the start,
// where v can be negative, far beyond it, and past the 32-bit range.
TEST(KeystreamBlock, EqualsPerByteFunctionAtRandomPositionsAndLengths) {
    std::mt19937_64 rng(20261206);
    const std::int64_t regions[] = {1, 60000, 1 << 20, (std::int64_t{1} << 31) - 5000,
                                    (std::int64_t{1} << 33) + 17};
    for (const char* key : {"", "abc", "\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF\xC3\xBF",
                            "Velmora", "p@ss w0rd!"}) {
        const KeyTable table = BuildKeyTable(key);
        const Keystream ks(table);
        for (int trial = 0; trial < 100; ++trial) {  // 20 in each region
            const auto start = regions[trial % 5] + static_cast<std::int64_t>(rng() % 70000);
            std::vector<std::uint8_t> data(rng() % 9000);
            for (auto& b : data) b = static_cast<std::uint8_t>(rng());
            std::vector<std::uint8_t> expected = data;
            for (std::size_t k = 0; k < data.size(); ++k)
                expected[k] ^= KeystreamByte(table, start + static_cast<std::int64_t>(k));
            ks.Apply(data.data(), data.size(), start);
            ASSERT_EQ(data, expected) << "key " << key << " from " << start;
        }
    }
}

}  // namespace
}  // namespace kolvik
