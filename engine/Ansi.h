// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows-1252, the code page in which every text that Kolvik writes to a file is stored,
// so that files move between systems byte for byte.
#include <optional>
#include <string>
#include <string_view>

namespace kolvik {

// Decodes UTF-8; each byte of a malformed sequence becomes U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::u32string_view text);
bool ValidUtf8(std::string_view text);

// The Windows-1252 code of a character; one it cannot represent counts as "?".
int AnsiCode(char32_t c);

// The whole text in Windows-1252, unrepresentable characters as "?".
std::string ToAnsi(std::string_view utf8);
// nullopt when the text is not valid UTF-8 or holds a character Windows-1252 lacks.
std::optional<std::string> ToAnsiExact(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace kolvik
