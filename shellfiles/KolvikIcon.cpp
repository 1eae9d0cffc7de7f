// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfiles/KolvikIcon.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace kolvik {
namespace {

constexpr int kSize = 256;

std::uint32_t Crc32(const std::string& bytes, std::size_t from) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        c = table[(c ^ static_cast<std::uint8_t>(bytes[i])) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void PutBE32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void PutLE(std::string& out, std::uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    PutBE32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png += type;
    png += data;
    PutBE32(png, Crc32(png, start));
}

// A zlib stream of stored blocks: an icon compresses well, but the code stays short.
std::string StoredZlib(const std::string& raw) {
    std::string out = "\x78\x01";
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        out.push_back(pos + n == raw.size() ? 1 : 0);
        PutLE(out, static_cast<std::uint32_t>(n), 2);
        PutLE(out, static_cast<std::uint32_t>(~n & 0xFFFF), 2);
        out.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (char c : raw) {
        a = (a + static_cast<std::uint8_t>(c)) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(out, (b << 16) | a);
    return out;
}

struct Rgba {
    std::uint8_t r, g, b, a;
};

// A golden key on a dark rounded square.
Rgba Pixel(int x, int y) {
    const Rgba none{0, 0, 0, 0}, plate{24, 58, 82, 255}, gold{232, 178, 40, 255};
    const auto inside = [](int px, int py, int cx, int cy, int r) {
        return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
    };
    constexpr int r = 40, lo = 8, hi = kSize - 9;
    const int cx = x < lo + r ? lo + r : (x > hi - r ? hi - r : x);
    const int cy = y < lo + r ? lo + r : (y > hi - r ? hi - r : y);
    if (x < lo || x > hi || y < lo || y > hi || !inside(x, y, cx, cy, r)) return none;
    const bool ring = inside(x, y, 88, 128, 48) && !inside(x, y, 88, 128, 22);
    const bool shaft = x >= 130 && x <= 222 && y >= 118 && y <= 138;
    const bool teeth = y > 138 && y <= 170 && ((x >= 180 && x <= 196) || (x >= 206 && x <= 222));
    return ring || shaft || teeth ? gold : plate;
}

// Each pixel of a smaller icon averages the block of the 256 drawing it covers, weighted
// by opacity, so that the edges stay smooth and the transparent corners keep no colour.
Rgba Averaged(int x, int y, int size) {
    const int x0 = x * kSize / size, x1 = (x + 1) * kSize / size;
    const int y0 = y * kSize / size, y1 = (y + 1) * kSize / size;
    std::uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
    for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
            const Rgba p = Pixel(sx, sy);
            r += std::uint64_t{p.r} * p.a;
            g += std::uint64_t{p.g} * p.a;
            b += std::uint64_t{p.b} * p.a;
            a += p.a;
            ++n;
        }
    }
    if (a == 0) return {0, 0, 0, 0};
    const auto channel = [&](std::uint64_t sum) {
        return static_cast<std::uint8_t>((sum + a / 2) / a);
    };
    return {channel(r), channel(g), channel(b), static_cast<std::uint8_t>((a + n / 2) / n)};
}

}  // namespace

std::string KolvikIconPng() { return KolvikIconPng(kSize); }

std::string KolvikIconPng(int size) {
    size = std::clamp(size, 1, kSize);
    std::string raw;
    raw.reserve(static_cast<std::size_t>(size) * (1 + 4 * size));
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < size; ++x) {
            const Rgba p = size == kSize ? Pixel(x, y) : Averaged(x, y, size);
            raw += {static_cast<char>(p.r), static_cast<char>(p.g), static_cast<char>(p.b),
                    static_cast<char>(p.a)};
        }
    }
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    PutBE32(header, static_cast<std::uint32_t>(size));
    PutBE32(header, static_cast<std::uint32_t>(size));
    header += {8, 6, 0, 0, 0};  // 8 bits, RGBA, deflate, adaptive filters, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", StoredZlib(raw));
    Chunk(png, "IEND", "");
    return png;
}

std::string KolvikIconIco() {
    const std::string png = KolvikIconPng();
    std::string ico;
    PutLE(ico, 0, 2);     // reserved
    PutLE(ico, 1, 2);     // an icon
    PutLE(ico, 1, 2);     // one image
    ico += {0, 0, 0, 0};  // 256 x 256 is written as 0 x 0; no palette
    PutLE(ico, 1, 2);     // planes
    PutLE(ico, 32, 2);    // bits per pixel
    PutLE(ico, static_cast<std::uint32_t>(png.size()), 4);
    PutLE(ico, 6 + 16, 4);  // the image follows the directory
    return ico + png;
}

}  // namespace kolvik
