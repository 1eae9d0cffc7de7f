// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FileFormat.h"

#include "engine/Ansi.h"
#include "engine/NameRules.h"

namespace kolvik {
namespace {

constexpr std::string_view kEnding = ".kol";

// Byte offset where the last n characters of UTF-8 text begin, or npos when it has fewer.
std::size_t LastCharactersOffset(std::string_view text, std::size_t n) {
    std::size_t i = text.size();
    while (n > 0) {
        if (i == 0) return std::string_view::npos;
        --i;
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) --n;
    }
    return i;
}

// An extension read from a header is a name part no one chose here: it must be valid UTF-8,
// name no folder, stream or drive on either system (no "/", "\\" or ":"), and hold no control
// character (C0, DEL, or C1, U+0080 to U+009F, which UTF-8 writes as C2 80 to C2 9F).
bool UsableExtension(std::string_view ext) {
    if (!ValidUtf8(ext)) return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
        const auto c = static_cast<unsigned char>(ext[i]);
        const bool c1 =
            c == 0xC2 && i + 1 < ext.size() && static_cast<unsigned char>(ext[i + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1 || c == '/' || c == '\\' || c == ':') return false;
    }
    return true;
}

bool SafeName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string EncryptedHeader(const KeyTable& table, std::string_view extAnsi) {
    const int L = static_cast<int>(extAnsi.size());
    std::string header;
    header.reserve(extAnsi.size() + kHeaderFixed);
    header.push_back(static_cast<char>(L));
    header.append(extAnsi);
    for (int p = L + kFirstCheckAt; p <= L + kHeaderFixed; ++p)
        header.push_back(static_cast<char>(CheckByte(table, p, L)));
    return header;
}

bool HeaderMatches(const KeyTable& table, std::string_view bytes) {
    if (bytes.empty()) return false;
    const int L = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() < static_cast<std::size_t>(L) + kHeaderFixed) return false;
    for (int p = L + kFirstCheckAt; p <= L + kHeaderFixed; ++p) {
        if (static_cast<unsigned char>(bytes[p - 1]) != CheckByte(table, p, L)) return false;
    }
    return true;
}

std::optional<std::string> StorableExtension(std::string_view extUtf8) {
    auto ansi = ToAnsiExact(extUtf8);
    if (!ansi || ansi->size() > 255) return std::nullopt;
    return ansi;
}

std::string EncryptedName(std::string_view name) {
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return std::string(name) + "_.kol";
    return std::string(name.substr(0, dot)) + "_" + std::string(name.substr(dot + 1)) + ".kol";
}

std::string BaseOfEncryptedName(std::string_view name) {
    const std::size_t ending = LastCharactersOffset(name, 4);
    if (ending == std::string_view::npos) return {};
    const std::string_view stem = name.substr(0, ending);
    const std::size_t underscore = stem.rfind('_');
    return std::string(underscore == std::string_view::npos ? stem : stem.substr(0, underscore));
}

std::string PlainName(std::string_view encryptedName, std::string_view extUtf8) {
    if (!UsableExtension(extUtf8)) return {};
    std::string plain;
    if (!extUtf8.empty()) {
        // The name as encryption made it comes back exactly; any other follows the last "_".
        const std::string made = "_" + std::string(extUtf8) + std::string(kEnding);
        const std::string base =
            EndsWithAnyCase(encryptedName, made)
                ? std::string(encryptedName.substr(0, encryptedName.size() - made.size()))
                : BaseOfEncryptedName(encryptedName);
        plain = base + "." + std::string(extUtf8);
    } else if (EndsWithAnyCase(encryptedName, "_.kol")) {
        plain = encryptedName.substr(0, encryptedName.size() - 5);
    } else {
        const std::size_t ending = LastCharactersOffset(encryptedName, 4);
        if (ending != std::string_view::npos) plain = encryptedName.substr(0, ending);
    }
    // A plain name ending in .kol would be taken for an encrypted file again.
    const bool usable = SafeName(plain) && !EndsWithAnyCase(plain, kEnding) &&
                        !(kWindowsNames && IsReservedOnWindows(plain));
    return usable ? plain : std::string();
}

bool EndsInKol(std::string_view name) { return EndsWithAnyCase(name, "kol"); }

std::int64_t NextProgressPass(std::int64_t pass, std::int64_t limit) {
    if (pass < 1001) pass = 1001;
    const std::int64_t next = pass + (1000 - (pass - 1) % 1000) % 1000;
    return next <= limit ? next : 0;
}

}  // namespace kolvik
