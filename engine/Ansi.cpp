// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Ansi.h"

#include <array>

namespace kolvik {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code points of the bytes 0x80 to 0x9F. The five bytes that Windows-1252 leaves
// undefined map to the C1 control of the same value, as Windows itself converts them.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr int kUnrepresentable = -1;

int ExactAnsiCode(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
    }
    return kUnrepresentable;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        int len = b0 < 0x80           ? 1
                  : (b0 >> 5) == 0x6  ? 2
                  : (b0 >> 4) == 0xE  ? 3
                  : (b0 >> 3) == 0x1E ? 4
                                      : 0;
        char32_t c = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            ok = (b & 0xC0) == 0x80;
            c = (c << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kMin[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (!ok) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int AnsiCode(char32_t c) {
    const int code = ExactAnsiCode(c);
    return code == kUnrepresentable ? '?' : code;
}

std::string ToAnsi(std::string_view utf8) {
    std::string out;
    for (char32_t c : DecodeUtf8(utf8)) out.push_back(static_cast<char>(AnsiCode(c)));
    return out;
}

std::optional<std::string> ToAnsiExact(std::string_view utf8) {
    std::string out;
    for (char32_t c : DecodeUtf8(utf8)) {
        const int code = c == kReplacement ? kUnrepresentable : ExactAnsiCode(c);
        if (code == kUnrepresentable) return std::nullopt;
        out.push_back(static_cast<char>(code));
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::u32string text;
    for (char ch : ansi) {
        const auto b = static_cast<unsigned char>(ch);
        text.push_back(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : b);
    }
    return EncodeUtf8(text);
}

// A U+FFFD that was really there encodes back to the same bytes; one made for a bad byte does not.
bool ValidUtf8(std::string_view text) { return EncodeUtf8(DecodeUtf8(text)) == text; }

}  // namespace kolvik
