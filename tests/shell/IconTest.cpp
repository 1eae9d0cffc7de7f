// The drawn icon is a PNG that an independent decoder (zlib) accepts.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>

#include "shell/KolvikIcon.h"

namespace kolvik {
namespace {

std::uint32_t BE32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<std::uint8_t>(s[at + k]);
    return v;
}

TEST(KolvikIcon, IsAValidPngOf256By256Rgba) {
    const std::string png = KolvikIconPng();
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n"));
    std::string idat;
    std::vector<std::string> types;
    for (std::size_t at = 8; at < png.size();) {
        ASSERT_LE(at + 12, png.size());
        const std::uint32_t length = BE32(png, at);
        const std::string type = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, length);
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4));
        EXPECT_EQ(BE32(png, at + 8 + length), crc) << type;
        if (type == "IHDR") {
            EXPECT_EQ(BE32(data, 0), 256u);
            EXPECT_EQ(BE32(data, 4), 256u);
            EXPECT_EQ(data.substr(8), std::string("\x08\x06\x00\x00\x00", 5));
        }
        if (type == "IDAT") idat += data;
        types.push_back(type);
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    std::string raw(256 * (1 + 256 * 4) + 1, '\0');
    uLongf size = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                         reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
              Z_OK);
    EXPECT_EQ(size, 256u * (1 + 256 * 4));
    for (int y = 0; y < 256; ++y) EXPECT_EQ(raw[y * (1 + 256 * 4)], 0) << "filter of row " << y;
    // The corners are transparent, the middle of the plate is not.
    EXPECT_EQ(static_cast<std::uint8_t>(raw[1 + 3]), 0);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[128 * 1025 + 1 + 20 * 4 + 3]), 255);
}

TEST(KolvikIcon, IcoWrapsThePng) {
    const std::string png = KolvikIconPng();
    const std::string ico = KolvikIconIco();
    ASSERT_EQ(ico.size(), 22 + png.size());
    EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\1\0", 6));
    const auto le32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<std::uint8_t>(ico[at + k]);
        return v;
    };
    EXPECT_EQ(le32(6 + 8), png.size());
    EXPECT_EQ(le32(6 + 12), 22u);
    EXPECT_EQ(ico.substr(22), png);
}

}  // namespace
}  // namespace kolvik
