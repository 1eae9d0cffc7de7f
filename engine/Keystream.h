// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The password-keyed, position-dependent byte transform that every .kol file is made of.
// Positions are 1-based file positions; the formulas continue unchanged past 32 bits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kolvik {

// A(0) to A(8): the Windows-1252 codes of the key table's entries.
struct KeyTable {
    std::array<int, 9> code{};
};

// Entry i is the i-th character of the key (i = 1 to 8), or the character with code i.
KeyTable BuildKeyTable(std::string_view cipherKeyUtf8);

std::uint8_t CheckByte(const KeyTable& t, std::int64_t p, int extLength);
std::uint8_t KeystreamByte(const KeyTable& t, std::int64_t p);
std::uint8_t TransportKeyByte(const KeyTable& t, std::int64_t i);

// Combines buffers with the keystream fast. KeystreamByte(p) = |c(p mod 72) + p| mod 256;
// once p is past every negative c the sign drops out and the bytes repeat every
// lcm(72, 256) = 2304 positions, so one precomputed period serves the rest of the file. The
// start before that, up to 255 * 255 positions and the same for every file under one key, is
// worked out once too: a small file lies wholly inside it.
class Keystream {
  public:
    explicit Keystream(const KeyTable& table);
    // data[k] ^= KeystreamByte(firstPosition + k) for every k < size.
    void Apply(std::uint8_t* data, std::size_t size, std::int64_t firstPosition) const;

    static constexpr std::size_t kPeriod = 2304;
    // c(r) is at least -(255 * 255): the power term at its largest, the others at 0.
    static constexpr std::size_t kLongestStart = std::size_t{255} * 255;

  private:
    std::array<std::int64_t, 72> offset_{};            // c(r)
    std::int64_t periodicFrom_ = 0;                    // from here on c(r) + p >= 0 for every r
    std::array<std::uint8_t, 2 * kPeriod> period_{};   // two periods, so any window is contiguous
    std::array<std::uint8_t, kLongestStart> start_{};  // positions 0 .. periodicFrom_ - 1
};

}  // namespace kolvik
