// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PasswordLine.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "session/SecretText.h"

namespace kolvik::cli {
namespace {

bool IsAsciiControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

enum class TextFault { None, InvalidUtf8, Control };

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. The C1 control
// characters (U+0080 to U+009F) are control characters as much as the ASCII ones.
TextFault ScanUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0, minimum = 0;
        if ((lead & 0xE0) == 0xC0)
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        else if ((lead & 0xF0) == 0xE0)
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        else if ((lead & 0xF8) == 0xF0)
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        else
            return TextFault::InvalidUtf8;
        if (i + length > s.size()) return TextFault::InvalidUtf8;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) return TextFault::InvalidUtf8;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return TextFault::InvalidUtf8;
        if (cp <= 0x9F) return TextFault::Control;
        i += length;
    }
    return TextFault::None;
}

std::string NotText(const std::string& sourceName) {
    return sourceName +
           " is geen tekstbestand: de eerste regel bevat een NUL-byte of een ander stuurteken.";
}

}  // namespace

PasswordLine::~PasswordLine() {
    if (password) WipeText(*password);
}

PasswordLine JudgeFirstLine(std::string_view bytes, bool sourceEnded,
                            const std::string& sourceName) {
    // Notepad starts a UTF-8 file with a byte-order mark; it is no part of the password.
    if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
    if (bytes.empty() && sourceEnded)
        return {std::nullopt, "geen wachtwoord: " + sourceName + " is leeg."};
    const std::size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    const bool complete = lf != std::string_view::npos || sourceEnded;

    // Within the allowed length first, so that /dev/zero is called binary rather than long.
    const std::string_view head = line.substr(0, std::min(line.size(), kMaxPasswordBytes));
    if (std::any_of(head.begin(), head.end(), IsAsciiControl))
        return {std::nullopt, NotText(sourceName)};
    if (!complete || line.size() > kMaxPasswordBytes)
        return {std::nullopt, "de eerste regel van " + sourceName + " is langer dan " +
                                  std::to_string(kMaxPasswordBytes) + " bytes."};
    switch (ScanUtf8(line)) {
        case TextFault::InvalidUtf8:
            return {std::nullopt,
                    "de eerste regel van " + sourceName + " is geen geldige UTF-8-tekst."};
        case TextFault::Control:
            return {std::nullopt, NotText(sourceName)};
        case TextFault::None:
            break;
    }
    return {std::string(line), {}};
}

PasswordLine ReadPasswordLine(int fd, const std::string& sourceName) {
    // Read into one buffer of the whole limit: a string that grew would leave copies of the
    // password behind in the memory it gave up.
    std::string bytes(kPasswordReadLimit, '\0');
    const WipedAtExit wipe(bytes);
    std::size_t have = 0;
    bool ended = false;
    while (have < kPasswordReadLimit &&
           std::string_view(bytes.data(), have).find('\n') == std::string_view::npos) {
        const ssize_t got = read(fd, bytes.data() + have, kPasswordReadLimit - have);
        if (got == 0) {
            ended = true;
            break;
        }
        // EINTR comes only from the SIGINT and SIGTERM handlers: the run is being stopped.
        if (got < 0) return {std::nullopt, "kan het wachtwoord niet lezen uit " + sourceName + "."};
        have += static_cast<std::size_t>(got);
    }
    return JudgeFirstLine(std::string_view(bytes.data(), have), ended, sourceName);
}

}  // namespace kolvik::cli
