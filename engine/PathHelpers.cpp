// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PathHelpers.h"

#include <algorithm>

#include "engine/NameRules.h"

namespace kolvik {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of the n-th character (0-based) of UTF-8 text, or npos.
std::size_t CharacterOffset(std::string_view text, std::size_t n) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i])) continue;
        if (seen++ == n) return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string FixRootPath(std::string_view path) {
    const std::size_t fourth = CharacterOffset(path, 3);
    if (fourth == std::string_view::npos || path[fourth] != '\\') return std::string(path);
    std::string out(path.substr(0, fourth));
    out += path.substr(fourth + 1);
    return out;
}

std::string GetExtension(std::string_view name) {
    const std::size_t dot = name.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    // Windows takes either slash; a root such as "C:\\" ends in its own.
    const bool ends = !out.empty() && (out.back() == kSeparator || out.back() == '/');
    if (!ends) out += kSeparator;
    out += name;
    return out;
}

std::filesystem::path FsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    return out;
}

bool PathHasSkipWord(std::string_view folderPath) {
    const std::string upper = UpperCase(folderPath);
    return std::any_of(SkipWords.begin(), SkipWords.end(), [&](std::string_view word) {
        return upper.find(UpperCase(word)) != std::string::npos;
    });
}

bool NameIsSkipWord(std::string_view folderName) {
    const std::string upper = UpperCase(folderName);
    return std::any_of(SkipWords.begin(), SkipWords.end(),
                       [&](std::string_view word) { return upper == UpperCase(word); });
}

}  // namespace kolvik
