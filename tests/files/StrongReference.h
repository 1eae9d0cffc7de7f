// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A reader and a writer of strong files written from the layout alone: offsets, keys and chunk
// nonces as the format describes them, over the system's primitives. Any deviation fails the
// test that reads.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "platform/Crypto.h"

namespace kolvik::test {

inline constexpr std::size_t kStrongChunk = 65536;

inline const std::uint8_t* AsBytes(const std::string& s, std::size_t at = 0) {
    return reinterpret_cast<const std::uint8_t*>(s.data()) + at;
}

inline std::uint32_t Be32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | AsBytes(s)[at + i];
    return v;
}

inline std::string PutBe32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

using Key32 = std::array<std::uint8_t, 32>;

// HKDF-SHA256 with a 32-byte output is two HMACs: PRK = HMAC(salt, IKM), OKM = HMAC(PRK, info 01).
inline Key32 Hkdf32(crypto::Bytes ikm, crypto::Bytes salt, std::string info) {
    Key32 prk{}, okm{};
    EXPECT_TRUE(crypto::HmacSha256(salt, ikm, prk));
    info += '\x01';
    EXPECT_TRUE(crypto::HmacSha256(prk, {AsBytes(info), info.size()}, okm));
    return okm;
}

// The header's fields; iterations for version 1, memory, passes and lanes for version 2.
struct StrongFields {
    int version = 2;
    std::uint32_t iterations = 0, memoryKiB = 65536, passes = 1, lanes = 1;
    std::string salt = std::string(16, 's'), nonce = std::string(16, 'n'), ext = "txt";
};

// The header up to the MAC.
inline std::string RefUnsealedHeader(const StrongFields& f) {
    std::string h = f.version == 1 ? std::string("\0KOLVIK-S1", 10) + PutBe32(f.iterations)
                                   : std::string("\0KOLVIK-S2\x01", 11) + PutBe32(f.memoryKiB) +
                                         static_cast<char>(f.passes) + static_cast<char>(f.lanes);
    return h + f.salt + f.nonce + static_cast<char>(f.ext.size()) + f.ext;
}

// M for a header's fields, remembered: sweeps read many files made with one salt. The nonce and
// extension do not count.
inline Key32 RefMasterKey(const std::string& password, StrongFields f) {
    static std::map<std::string, Key32> known;
    f.nonce.clear(), f.ext.clear();
    Key32& m = known[password + '\0' + RefUnsealedHeader(f)];
    if (m != Key32{}) return m;
    const crypto::Bytes salt{AsBytes(f.salt), 16};
    EXPECT_TRUE(f.version == 1
                    ? crypto::Pbkdf2Sha256(password, salt, f.iterations, m)
                    : crypto::Argon2id(password, salt, f.passes, f.memoryKiB, f.lanes, m));
    return m;
}

// The header's key and the data's.
inline std::pair<Key32, Key32> RefKeys(const std::string& password, const StrongFields& f) {
    const auto m = RefMasterKey(password, f);
    const std::string v = f.version == 1 ? "v1" : "v2";
    const crypto::Bytes nonce{AsBytes(f.nonce), 16};
    return {Hkdf32(m, nonce, "kolvik sterk " + v + " kop"),
            Hkdf32(m, nonce, "kolvik sterk " + v + " data")};
}

inline std::array<std::uint8_t, 12> RefChunkNonce(std::size_t i, bool final) {
    std::array<std::uint8_t, 12> iv{};
    for (std::size_t b = 0; b < 8; ++b) iv[10 - b] = static_cast<std::uint8_t>(i >> 8 * b);
    iv[11] = final ? 1 : 0;
    return iv;
}

// A whole strong file. emptyFinal: every data chunk is sealed as not final, and an empty final
// chunk follows, as the format allows only for an empty file.
inline std::string WriteStrongRef(const std::string& plain, const std::string& password,
                                  const StrongFields& f, bool emptyFinal = false) {
    const auto [kh, kd] = RefKeys(password, f);
    std::string h = RefUnsealedHeader(f);
    Key32 mac{};
    EXPECT_TRUE(crypto::HmacSha256(kh, {AsBytes(h), h.size()}, mac));
    h.append(mac.begin(), mac.end());
    crypto::AesGcm aes(kd);
    std::string out = h;
    bool final = false;
    for (std::size_t at = 0, i = 0; !final; ++i) {
        const std::size_t n = std::min(kStrongChunk, plain.size() - at);
        final = at + n == plain.size() && (!emptyFinal || n == 0);
        std::string sealed(n + 16, '\0');
        EXPECT_TRUE(aes.Seal(RefChunkNonce(i, final), {AsBytes(h), h.size()},
                             {AsBytes(plain, at), n},
                             reinterpret_cast<std::uint8_t*>(sealed.data())));
        out += sealed;
        at += n;
    }
    return out;
}

struct Reading {
    StrongFields fields;
    std::string plain;
};

// Reads a strong file of either version the way the layout describes it; any deviation fails
// the test.
inline Reading ReadStrong(const std::string& file, const std::string& password) {
    Reading r;
    StrongFields& f = r.fields;
    f.version = file.starts_with(std::string("\0KOLVIK-S1", 10)) ? 1 : 2;
    std::size_t at = 14;
    if (f.version == 1) {
        f.iterations = Be32(file, 10);
    } else {
        f.memoryKiB = Be32(file, 11);
        f.passes = AsBytes(file)[15];
        f.lanes = AsBytes(file)[16];
        at = 17;
    }
    f.salt = file.substr(at, 16);
    f.nonce = file.substr(at + 16, 16);
    const std::size_t e = AsBytes(file)[at + 32];
    f.ext = file.substr(at + 33, e);
    const std::size_t macAt = at + 33 + e, hSize = macAt + 32;
    // The magic and the version's own bytes: what the fields read would be written as.
    EXPECT_EQ(file.substr(0, macAt), RefUnsealedHeader(f));
    const auto [kh, kd] = RefKeys(password, f);
    Key32 mac{};
    EXPECT_TRUE(crypto::HmacSha256(kh, {AsBytes(file), macAt}, mac));
    EXPECT_EQ(file.substr(macAt, 32), std::string(mac.begin(), mac.end()));
    crypto::AesGcm aes(kd);
    for (std::size_t pos = hSize, i = 0; pos < file.size(); ++i) {
        const bool final = file.size() - pos <= kStrongChunk + 16;
        const std::size_t n = final ? file.size() - pos : kStrongChunk + 16;
        std::string plain(n - 16, '\0');
        EXPECT_TRUE(aes.Open(RefChunkNonce(i, final), {AsBytes(file), hSize},
                             {AsBytes(file, pos), n},
                             reinterpret_cast<std::uint8_t*>(plain.data())))
            << "chunk " << i;
        r.plain += plain;
        pos += n;
    }
    return r;
}

}  // namespace kolvik::test
