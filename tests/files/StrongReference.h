// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A reader of strong files written from the layout alone: offsets, keys and chunk nonces as the
// format describes them, over the system's primitives. Any deviation fails the test that reads.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/Crypto.h"

namespace kolvik::test {

inline constexpr std::size_t kStrongChunk = 65536;

inline const std::uint8_t* AsBytes(const std::string& s, std::size_t at = 0) {
    return reinterpret_cast<const std::uint8_t*>(s.data()) + at;
}

// HKDF-SHA256 with a 32-byte output is two HMACs: PRK = HMAC(salt, IKM), OKM = HMAC(PRK, info 01).
inline std::array<std::uint8_t, 32> Hkdf32(crypto::Bytes ikm, crypto::Bytes salt,
                                           std::string info) {
    std::array<std::uint8_t, 32> prk{}, okm{};
    EXPECT_TRUE(crypto::HmacSha256(salt, ikm, prk));
    info += '\x01';
    EXPECT_TRUE(crypto::HmacSha256(prk, {AsBytes(info), info.size()}, okm));
    return okm;
}

struct Reading {
    std::uint32_t iterations = 0;
    std::string salt, nonce, ext, plain;
    std::size_t chunks = 0;
};

// Reads a strong file the way the layout describes it; any deviation fails the test.
inline Reading ReadStrong(const std::string& file, const std::string& password) {
    Reading r;
    EXPECT_EQ(file.substr(0, 10), std::string("\0KOLVIK-S1", 10));
    r.iterations = std::uint32_t{AsBytes(file)[10]} << 24 | std::uint32_t{AsBytes(file)[11]} << 16 |
                   std::uint32_t{AsBytes(file)[12]} << 8 | AsBytes(file)[13];
    r.salt = file.substr(14, 16);
    r.nonce = file.substr(30, 16);
    const std::size_t e = AsBytes(file)[46];
    r.ext = file.substr(47, e);
    const std::size_t hSize = 79 + e;
    std::array<std::uint8_t, 32> m{};
    EXPECT_TRUE(crypto::Pbkdf2Sha256(password, {AsBytes(r.salt), 16}, r.iterations, m));
    const auto kh = Hkdf32(m, {AsBytes(r.nonce), 16}, "kolvik sterk v1 kop");
    const auto kd = Hkdf32(m, {AsBytes(r.nonce), 16}, "kolvik sterk v1 data");
    std::array<std::uint8_t, 32> mac{};
    EXPECT_TRUE(crypto::HmacSha256(kh, {AsBytes(file), 47 + e}, mac));
    EXPECT_EQ(file.substr(47 + e, 32), std::string(mac.begin(), mac.end()));
    crypto::AesGcm aes(kd);
    for (std::size_t at = hSize, i = 0; at < file.size(); ++i, ++r.chunks) {
        const bool final = file.size() - at <= kStrongChunk + 16;
        const std::size_t n = final ? file.size() - at : kStrongChunk + 16;
        std::array<std::uint8_t, 12> iv{};
        for (int b = 10, shift = 0; shift < 64; --b, shift += 8)
            iv[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(i >> shift);
        iv[11] = final ? 1 : 0;
        std::string plain(n - 16, '\0');
        EXPECT_TRUE(aes.Open(iv, {AsBytes(file), hSize}, {AsBytes(file, at), n},
                             reinterpret_cast<std::uint8_t*>(plain.data())))
            << "chunk " << i;
        r.plain += plain;
        at += n;
    }
    return r;
}

}  // namespace kolvik::test
