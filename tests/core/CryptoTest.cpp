// SPDX-License-Identifier: GPL-3.0-or-later
// Published vectors through the system's library: RFC 5869 appendix A.1 to A.3 (HKDF-SHA256),
// RFC 7914 section 11 (PBKDF2-HMAC-SHA256), and test cases 13 to 16 of the GCM submission
// (McGrew and Viega) for 256-bit keys. Each was also recomputed with Python's hashlib and the
// cryptography package before it went in.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/Keystream.h"
#include "engine/StrongFormat.h"
#include "platform/Crypto.h"

namespace kolvik {
namespace {

std::vector<std::uint8_t> Hex(std::string_view hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return out;
}

std::vector<std::uint8_t> Bytes(std::uint8_t from, std::uint8_t to) {
    std::vector<std::uint8_t> out;
    for (int b = from; b <= to; ++b) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(Hkdf, Rfc5869Sha256Cases) {
    const auto ikm22 = Hex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b");
    const struct {
        std::vector<std::uint8_t> ikm, salt, info;
        std::string okm;
    } cases[] = {
        {ikm22, Hex("000102030405060708090a0b0c"), Hex("f0f1f2f3f4f5f6f7f8f9"),
         "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
        // Longer inputs, and an output that spans three HMAC blocks.
        {Bytes(0x00, 0x4f), Bytes(0x60, 0xaf), Bytes(0xb0, 0xff),
         "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c6"
         "5e590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
        // No salt and no info.
        {ikm22,
         {},
         {},
         "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
    };
    for (const auto& c : cases) {
        const auto expected = Hex(c.okm);
        std::vector<std::uint8_t> okm(expected.size());
        const std::string info(c.info.begin(), c.info.end());
        ASSERT_TRUE(strong::HkdfSha256(c.ikm, c.salt, info, okm));
        EXPECT_EQ(okm, expected) << c.okm;
    }
}

TEST(Pbkdf2, Rfc7914Sha256Cases) {
    const struct {
        const char* password;
        const char* salt;
        std::uint32_t iterations;
        const char* dk;
    } cases[] = {
        {"passwd", "salt", 1,
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b3"
         "9d77ef317c71b845b1e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000,
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b"
         "51c9b3176a272bdebba1d078478f62b397f33c8d"},
    };
    for (const auto& c : cases) {
        const std::string salt = c.salt;
        std::vector<std::uint8_t> dk(64);
        ASSERT_TRUE(crypto::Pbkdf2Sha256(
            c.password, {reinterpret_cast<const std::uint8_t*>(salt.data()), salt.size()},
            c.iterations, dk));
        EXPECT_EQ(dk, Hex(c.dk)) << c.password;
    }
}

TEST(AesGcm, GcmSubmissionCases13To16) {
    const char* k = "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308";
    const char* iv = "cafebabefacedbaddecaf888";
    const char* p15 =
        "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e24"
        "49a6b525b16aedf5aa0de657ba637b391aafd255";
    const char* c15 =
        "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b10"
        "56828838c5f61e6393ba7a0abcc9f662898015ad";
    const std::string zeroKey(64, '0'), zeroIv(24, '0');
    const std::string p16 = std::string(p15).substr(0, 120), c16 = std::string(c15).substr(0, 120);
    const struct {
        int number;
        const char *key, *iv, *plain, *aad, *cipher, *tag;
    } cases[] = {
        {13, zeroKey.c_str(), zeroIv.c_str(), "", "", "", "530f8afbc74536b9a963b4f1c4cb738b"},
        {14, zeroKey.c_str(), zeroIv.c_str(), "00000000000000000000000000000000", "",
         "cea7403d4d606b6e074ec5d3baf39d18", "d0d1c8a799996bf0265b98b5d48ab919"},
        {15, k, iv, p15, "", c15, "b094dac5d93471bdec1a502270e3cc6c"},
        // A plain text that is not a whole number of blocks, with additional data.
        {16, k, iv, p16.c_str(), "feedfacedeadbeeffeedfacedeadbeefabaddad2", c16.c_str(),
         "76fc6ece0f4e1768cddf8853bb2d551b"},
    };
    for (const auto& c : cases) {
        const auto key = Hex(c.key), nonce = Hex(c.iv), plain = Hex(c.plain), aad = Hex(c.aad);
        const auto sealed = Hex(std::string(c.cipher) + c.tag);
        crypto::AesGcm aes(std::span<const std::uint8_t, 32>(key.data(), 32));
        ASSERT_TRUE(aes.Ready());
        const std::span<const std::uint8_t, 12> n(nonce.data(), 12);

        std::vector<std::uint8_t> out(plain.size() + crypto::kGcmTagSize);
        ASSERT_TRUE(aes.Seal(n, aad, plain, out.data())) << c.number;
        EXPECT_EQ(out, sealed) << c.number;

        std::vector<std::uint8_t> back(plain.size() + 1);
        ASSERT_TRUE(aes.Open(n, aad, sealed, back.data())) << c.number;
        back.pop_back();
        EXPECT_EQ(back, plain) << c.number;
        // The last bit of the tag, and one more byte of additional data, must each be refused.
        auto badTag = sealed;
        badTag.back() ^= 1;
        EXPECT_FALSE(aes.Open(n, aad, badTag, back.data())) << c.number;
        auto longerAad = aad;
        longerAad.push_back(0);
        EXPECT_FALSE(aes.Open(n, longerAad, sealed, back.data())) << c.number;
    }
}

// The described format's keystream: expected bytes were worked out by hand from
// v = F*m - B^e + D + p and |v| mod 256.
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
