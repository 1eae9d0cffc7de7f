// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The encrypted file: its header, its name, and the plain name it gives back.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/Keystream.h"

namespace kolvik {

// The layout, in positions counted from 1 as the keystream's formulas count them; L is the
// extension's length. Header: L at 1, the extension at 2 .. L + 1, the check bytes at
// L + 2 .. L + 9. Data byte q (from 0) sits at q + L + 10, and one trailing byte ends the file.
inline constexpr int kLengthBytes = 1;
inline constexpr int kCheckBytes = 8;
inline constexpr int kFirstCheckAt = kLengthBytes + 1;           // + L
inline constexpr int kHeaderFixed = kLengthBytes + kCheckBytes;  // header size is L + 9
inline constexpr int kFirstDataAt = kHeaderFixed + 1;            // + L
inline constexpr int kTrailingBytes = 1;

// L, the extension's Windows-1252 bytes and the eight check bytes: L + kHeaderFixed bytes.
std::string EncryptedHeader(const KeyTable& table, std::string_view extAnsi);
// True when bytes (at least L + kHeaderFixed of them, L = bytes[0]) carry the check bytes of
// table.
bool HeaderMatches(const KeyTable& table, std::string_view bytes);

// The extension as the header stores it, or nullopt when the header cannot hold it faithfully
// (more than 255 bytes, or a character Windows-1252 lacks).
std::optional<std::string> StorableExtension(std::string_view extUtf8);

// report.txt gives report_txt.kol, README gives README_.kol, notes. gives notes._.kol.
std::string EncryptedName(std::string_view name);
// Everything before the last "_" ahead of the four-character ending, or the name without
// that ending when there is no "_".
std::string BaseOfEncryptedName(std::string_view name);
// The plain name of an encrypted file holding extUtf8; empty when none can be made safely, by
// one rule on every system: an extension that is not valid UTF-8 or holds "/", "\\", ":" or a
// control character, or a name that would end in ".kol" (and on Windows, a name it reserves).
std::string PlainName(std::string_view encryptedName, std::string_view extUtf8);

// The last three characters are "kol", letter case ignored: a name copied from Windows may
// have any.
bool EndsInKol(std::string_view name);

// Progress falls after passes 1001, 2001, ... of the per-byte loop. The first such pass at or
// after pass, or 0 when there is none below limit + 1.
std::int64_t NextProgressPass(std::int64_t pass, std::int64_t limit);

}  // namespace kolvik
