// SPDX-License-Identifier: GPL-3.0-or-later
// Published vectors through the crypto seam, one for each property that can fail on its own:
// RFC 5869 appendix A.2 and A.3 (HKDF-SHA256), RFC 7914 section 11 (PBKDF2-HMAC-SHA256), test
// cases 13, 15 and 16 of the GCM submission (McGrew and Viega) for 256-bit keys, and RFC 9106
// section 5.3 (Argon2id). Each but the last was also recomputed with Python's hashlib and the
// cryptography package before it went in; further Argon2id tags come from the reference program,
// argon2.
#include <gtest/gtest.h>

#include <array>
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

crypto::Bytes Raw(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::vector<std::uint8_t> Bytes(std::uint8_t from, std::uint8_t to) {
    std::vector<std::uint8_t> out;
    for (int b = from; b <= to; ++b) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(Hkdf, Rfc5869Sha256Cases) {
    const struct {
        std::vector<std::uint8_t> ikm, salt, info;
        std::string okm;
    } cases[] = {
        // Inputs longer than an HMAC block, and an output that spans three hashes.
        {Bytes(0x00, 0x4f), Bytes(0x60, 0xaf), Bytes(0xb0, 0xff),
         "b11e398dc80327a1c8e7f78c596a49344f012eda2d4efad8a050cc4c19afa97c59045a99cac7827271cb41c6"
         "5e590e09da3275600c2f09b8367793a9aca3db71cc30c58179ec3e87c14c01d5c1f3434f1d87"},
        // No salt and no info.
        {Hex("0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b0b"),
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

// RFC 7914's second vector: whatever fails its first, of one iteration, fails this one too.
TEST(Pbkdf2, Rfc7914Sha256) {
    std::vector<std::uint8_t> dk(64);
    ASSERT_TRUE(crypto::Pbkdf2Sha256("Password", Raw("NaCl"), 80000, dk));
    EXPECT_EQ(dk, Hex("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a12258"
                      "33549adb841b"
                      "51c9b3176a272bdebba1d078478f62b397f33c8d"));
}

TEST(AesGcm, GcmSubmissionCases) {
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
        {15, k, iv, p15, "", c15, "b094dac5d93471bdec1a502270e3cc6c"},
        // A plain text that is not a whole number of blocks, with additional data.
        {16, k, iv, p16.c_str(), "feedfacedeadbeeffeedfacedeadbeefabaddad2", c16.c_str(),
         "76fc6ece0f4e1768cddf8853bb2d551b"},
    };
    // One cipher for all three cases, rekeyed for each: case 15 fails if a new key is ignored.
    crypto::AesGcm aes;
    const std::array<std::uint8_t, crypto::kGcmNonceSize> zeros{};
    std::array<std::uint8_t, crypto::kGcmTagSize> tagOnly{};
    EXPECT_FALSE(aes.Seal(zeros, {}, {}, tagOnly.data())) << "sealed without a key";
    for (const auto& c : cases) {
        const auto key = Hex(c.key), nonce = Hex(c.iv), plain = Hex(c.plain), aad = Hex(c.aad);
        const auto sealed = Hex(std::string(c.cipher) + c.tag);
        ASSERT_TRUE(aes.Rekey(std::span<const std::uint8_t, 32>(key.data(), 32)));
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

TEST(Argon2id, Rfc9106Section53) {
    const std::vector<std::uint8_t> salt(16, 0x02), secret(8, 0x03), ad(12, 0x04);
    std::vector<std::uint8_t> tag(32);
    ASSERT_TRUE(crypto::Argon2id(std::string(32, '\x01'), salt, 3, 32, 4, tag, secret, ad));
    EXPECT_EQ(tag, Hex("0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659"));
}

// Tags from the reference program (Debian's argon2, version 0x13), made with
//   printf PASSWORD | argon2 SALT -id -t T -k M -p P -l LENGTH -r
TEST(Argon2id, ReferenceProgramTags) {
    const struct {
        const char *password, *salt;
        std::uint32_t t, m, p;
        const char* tag;
    } rows[] = {
        // The least memory one lane may have.
        {"wachtwoord", "zoutzout", 1, 8, 1,
         "39a68f99853d1b8d0c88cfeac6996cc3a551b37a7172bd8d2fde50eed65a074c"},
        // A password's UTF-8 bytes as they are; two lanes, three passes.
        {"geheim \xC3\xA9\xE2\x82\xAC \xE6\xBC\xA2", "somesaltsomesalt", 3, 64, 2,
         "4ccfe2ef8c590c5b778214b767a310d6b1934707b0487a75cca464704ea98829"},
        // 37 KiB over four lanes fills 32 blocks, yet 37 is what goes into the hash.
        {"Velmora", "vierbanen", 2, 37, 4,
         "66f1376197fa4824416dcf40c0d2ae9159bc566aee819ab5bd2a9c07f5e47e5f"},
        // A tag longer than one BLAKE2b output.
        {"p@ss w0rd!", "langelabel", 1, 256, 1,
         "577e1ae629b9123c555f9cdc11ce410ac597589ff21ffe98ca408d4fe2edc638ab1bef49d5183674f345f77c0"
         "70f7"
         "eeb7c59270f79e89170cde17e4d54474dd8152f0c6b654273e3d8639adf4d56b6f8"},
        {"Correct Horse", "zoutzoutzout", 4, 1024, 1,
         "4195ce92885fd1b09f8f7130c3e62fdf49f070b8b611e48fd0daf45367a404af"},
    };
    for (const auto& r : rows) {
        std::vector<std::uint8_t> tag(std::string_view(r.tag).size() / 2);
        ASSERT_TRUE(crypto::Argon2id(r.password, Raw(r.salt), r.t, r.m, r.p, tag)) << r.password;
        EXPECT_EQ(tag, Hex(r.tag)) << r.password;
    }
}

// libgcrypt mends some of these quietly into a result no other Argon2id would give.
TEST(Argon2id, RefusesWhatRfc9106DoesNotAllow) {
    const struct {
        std::uint32_t t, m, p;
        std::size_t length;
    } rows[] = {{0, 64, 1, 32}, {1, 15, 2, 32}, {1, 64, 0, 32}, {1, 64, 1, 3}};
    for (const auto& r : rows) {
        std::vector<std::uint8_t> tag(r.length);
        EXPECT_FALSE(crypto::Argon2id("wachtwoord", Raw("zoutzout"), r.t, r.m, r.p, tag))
            << r.t << " " << r.m << " " << r.p << " " << r.length;
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
