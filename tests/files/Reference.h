// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An independent evaluation of the file format, straight from the formulas: double-precision
// power, the sum rounded, |v| mod 256. Only ASCII keys, so each key character is its own code.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kolvik::test {

struct RefTable {
    int A[9];
    explicit RefTable(const std::string& asciiKey) {
        for (int i = 0; i < 9; ++i) A[i] = i;
        for (std::size_t i = 1; i <= asciiKey.size() && i <= 8; ++i)
            A[i] = static_cast<unsigned char>(asciiKey[i - 1]);
    }
};

inline std::uint8_t RefByte(long long F, long long m, long long B, long long e, long long D,
                            long long p) {
    const double v = static_cast<double>(F * m) -
                     std::pow(static_cast<double>(B), static_cast<double>(e)) +
                     static_cast<double>(D) + static_cast<double>(p);
    const long long r = std::llround(v);
    return static_cast<std::uint8_t>(std::llabs(r) % 256);
}

inline std::uint8_t RefCheck(const RefTable& t, long long p, long long L) {
    return RefByte(t.A[(p - L) % 8], p % 5, t.A[(p - 1) % 8], p % 4, t.A[(p + 1) % 8], p);
}

inline std::uint8_t RefKeystream(const RefTable& t, long long p) {
    return RefByte(t.A[(p + 1) % 8], p % 9, t.A[(p + 3) % 8], p % 3, t.A[(p + 5) % 8], p);
}

// The whole encrypted file for a plain text and an ASCII extension; the trailing byte is the
// keystream byte of its own position.
inline std::string RefEncrypted(const std::string& key, const std::string& ext,
                                const std::string& plain) {
    const RefTable t(key);
    const long long L = static_cast<long long>(ext.size());
    std::string out(1, static_cast<char>(L));
    out += ext;
    for (long long p = L + 2; p <= L + 9; ++p) out.push_back(static_cast<char>(RefCheck(t, p, L)));
    for (std::size_t q = 1; q <= plain.size(); ++q) {
        const long long p = static_cast<long long>(q) + L + 9;
        out.push_back(
            static_cast<char>(static_cast<std::uint8_t>(plain[q - 1]) ^ RefKeystream(t, p)));
    }
    out.push_back(
        static_cast<char>(RefKeystream(t, static_cast<long long>(plain.size()) + L + 10)));
    return out;
}

// What Snapshot shows of that file, as a test window (key "geheim") writes it.
inline std::string RefKolEntry(const std::string& ext, const std::string& plain) {
    return "file:" + RefEncrypted("geheim", ext, plain);
}

}  // namespace kolvik::test
