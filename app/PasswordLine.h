// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The password of kolvik-cli's --password-file: the first line of a file or of standard input.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kolvik::cli {

inline constexpr std::size_t kMaxPasswordBytes = 4096;
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Enough to see where a line of the longest allowed length ends: a byte-order mark before it,
// its CR and LF after it.
inline constexpr std::size_t kPasswordReadLimit = kByteOrderMark.size() + kMaxPasswordBytes + 2;

// Copies, not moves, and each copy wipes its password when it goes.
struct PasswordLine {
    std::optional<std::string> password;
    std::string error;  // Dutch, when there is no password
    ~PasswordLine();
};

// Judges the first bytes of a source: `bytes` holds at most kPasswordReadLimit of them, or fewer
// when `sourceEnded` or a LF came first. `sourceName` names the source in the messages.
[[nodiscard]] PasswordLine JudgeFirstLine(std::string_view bytes, bool sourceEnded,
                                          const std::string& sourceName);

// Reads no more than kPasswordReadLimit bytes from fd, so that /dev/zero or an endless pipe is
// refused at once instead of read for ever, then judges them.
[[nodiscard]] PasswordLine ReadPasswordLine(int fd, const std::string& sourceName);

}  // namespace kolvik::cli
