// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Keystream.h"

#include <algorithm>
#include <cstring>

#include "engine/Ansi.h"

namespace kolvik {
namespace {

// B ^ e for the small exponents in use; any base to the exponent 0 is 1, 0 ^ 0 included.
std::int64_t Power(std::int64_t base, std::int64_t exponent) {
    std::int64_t result = 1;
    for (std::int64_t k = 0; k < exponent; ++k) result *= base;
    return result;
}

// |v| mod 256: the remainder of -v for a negative v, not the floor remainder.
std::uint8_t AbsMod256(std::int64_t v) { return static_cast<std::uint8_t>((v < 0 ? -v : v) % 256); }

std::int64_t Mod(std::int64_t x, std::int64_t n) { return x % n; }

std::int64_t KeystreamOffset(const KeyTable& t, std::int64_t p) {
    const auto& A = t.code;
    return A[Mod(p + 1, 8)] * Mod(p, 9) - Power(A[Mod(p + 3, 8)], Mod(p, 3)) + A[Mod(p + 5, 8)];
}

// out[i] ^= pattern[i] for i < n, eight bytes at a time; memcpy keeps it free of alignment
// and aliasing traps.
void XorInto(std::uint8_t* out, const std::uint8_t* pattern, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, out + i, 8);
        std::memcpy(&b, pattern + i, 8);
        a ^= b;
        std::memcpy(out + i, &a, 8);
    }
    for (; i < n; ++i) out[i] ^= pattern[i];
}

}  // namespace

KeyTable BuildKeyTable(std::string_view cipherKeyUtf8) {
    KeyTable t;
    for (int i = 0; i < 9; ++i) t.code[i] = i;
    const std::u32string key = DecodeUtf8(cipherKeyUtf8);
    for (std::size_t i = 1; i <= key.size() && i <= 8; ++i) t.code[i] = AnsiCode(key[i - 1]);
    return t;
}

std::uint8_t CheckByte(const KeyTable& t, std::int64_t p, int extLength) {
    const auto& A = t.code;
    const std::int64_t v = A[Mod(p - extLength, 8)] * Mod(p, 5) -
                           Power(A[Mod(p - 1, 8)], Mod(p, 4)) + A[Mod(p + 1, 8)] + p;
    return AbsMod256(v);
}

std::uint8_t KeystreamByte(const KeyTable& t, std::int64_t p) {
    return AbsMod256(KeystreamOffset(t, p) + p);
}

std::uint8_t TransportKeyByte(const KeyTable& t, std::int64_t i) {
    const auto& A = t.code;
    const std::int64_t v =
        A[Mod(i + 1, 8)] * Mod(i, 8) - Power(A[Mod(i + 5, 8)], Mod(i, 3)) + A[Mod(i + 5, 8)] + i;
    return AbsMod256(v);
}

Keystream::Keystream(const KeyTable& table) {
    for (std::int64_t r = 0; r < 72; ++r) {
        offset_[r] = KeystreamOffset(table, r);
        periodicFrom_ = std::max(periodicFrom_, -offset_[r]);
    }
    for (std::size_t j = 0; j < period_.size(); ++j) {
        const auto p = static_cast<std::int64_t>(j);
        period_[j] = static_cast<std::uint8_t>((offset_[p % 72] + p) & 0xFF);
    }
    for (std::int64_t p = 0; p < periodicFrom_; ++p)
        start_[static_cast<std::size_t>(p)] = AbsMod256(offset_[p % 72] + p);
}

void Keystream::Apply(std::uint8_t* data, std::size_t size, std::int64_t position) const {
    std::size_t k = 0;
    // Near the start of a file c(r) + p can be negative: those bytes come from the start table.
    if (position < periodicFrom_) {
        k = static_cast<std::size_t>(
            std::min<std::int64_t>(periodicFrom_ - position, static_cast<std::int64_t>(size)));
        XorInto(data, start_.data() + position, k);
        position += static_cast<std::int64_t>(k);
    }
    if (k == size) return;
    const std::uint8_t* pattern = period_.data() + position % static_cast<std::int64_t>(kPeriod);
    while (k < size) {
        const std::size_t n = std::min(kPeriod, size - k);
        XorInto(data + k, pattern, n);
        k += n;
    }
}

}  // namespace kolvik
