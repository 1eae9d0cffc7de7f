// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strong format's headers. Version 2 (Argon2id) is written; version 1 (PBKDF2) is still
// read. Both are sealed with HMAC-SHA256 under Kh, and the header's bytes H are the additional
// data of every chunk.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/StrongFormat.h"

namespace kolvik::strong {

inline constexpr std::string_view kMagicV1{"\0KOLVIK-S1", 10};
inline constexpr std::string_view kMagicV2{"\0KOLVIK-S2", 10};
// What a header may ask for and still be read; anything else is damage.
inline constexpr std::uint32_t kFewestIterations = 100'000;
inline constexpr std::uint32_t kMostIterations = 10'000'000;
inline constexpr Argon2Cost kLeastArgon2{.memoryKiB = 65'536, .passes = 1, .lanes = 1};
inline constexpr Argon2Cost kMostArgon2{.memoryKiB = 1'048'576, .passes = 10, .lanes = 4};

struct Header {
    int version = 2;
    Kdf kdf = Argon2Cost{};
    Salt salt{};
    FileNonce nonce{};
    std::string extension;  // UTF-8, as the name shows it
    std::size_t size = 0;   // of the whole header, MAC included
};

enum class HeaderRead { Ok, Damaged };
// Read a header of their version at the start of bytes; Damaged when it is cut short or out of
// range. Neither looks at the MAC.
HeaderRead ReadHeaderV1(std::string_view bytes, Header& header);
HeaderRead ReadHeaderV2(std::string_view bytes, Header& header);
// H for writing: a version 2 header, its MAC under keys.kh included (header.size is set).
// nullopt when the extension is longer than 255 bytes or the library refused.
std::optional<std::string> WriteHeaderV2(crypto::Hmac& hmac, const FileKeys& keys, Header& header);

// Kh and Kd of the header's version and nonce. The MACs of a run share hmac.
[[nodiscard]] bool DeriveFileKeys(crypto::Hmac& hmac, const Secret& m, const Header& header,
                                  FileKeys& keys);
// The header at the start of bytes carries a MAC made with keys.kh.
bool MacMatches(crypto::Hmac& hmac, const FileKeys& keys, std::string_view bytes,
                const Header& header);

}  // namespace kolvik::strong
