// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/StrongHeader.h"

#include <algorithm>

namespace kolvik::strong {
namespace {

// Up to the extension: magic, derivation, salt, nonce and the extension's length.
constexpr std::size_t kFixedV1 = 47;
constexpr std::size_t kFixedV2 = 50;
constexpr std::uint8_t kArgon2id13 = 0x01;

const std::uint8_t* Raw(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::uint32_t BigEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
           std::uint32_t{b[3]};
}

void Append(std::string& to, std::span<const std::uint8_t> bytes) {
    to.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Salt, nonce, extension and size from where the salt starts; the extension's length sits
// right after the nonce.
HeaderRead ReadTail(std::string_view bytes, std::size_t saltAt, Header& header) {
    const std::uint8_t* const b = Raw(bytes);
    std::copy_n(b + saltAt, kSaltSize, header.salt.begin());
    std::copy_n(b + saltAt + kSaltSize, kNonceSize, header.nonce.begin());
    const std::size_t fixed = saltAt + kSaltSize + kNonceSize + 1;
    const std::size_t e = b[fixed - 1];
    header.size = fixed + e + kMacSize;
    if (bytes.size() < header.size) return HeaderRead::Damaged;
    header.extension.assign(bytes.substr(fixed, e));
    return HeaderRead::Ok;
}

bool Within(std::uint32_t value, std::uint32_t least, std::uint32_t most) {
    return value >= least && value <= most;
}

}  // namespace

HeaderRead ReadHeaderV1(std::string_view bytes, Header& header) {
    if (bytes.size() < kFixedV1 || !bytes.starts_with(kMagicV1)) return HeaderRead::Damaged;
    const std::uint32_t iterations = BigEndian32(Raw(bytes) + 10);
    if (!Within(iterations, kFewestIterations, kMostIterations)) return HeaderRead::Damaged;
    header.version = 1;
    header.kdf = Pbkdf2Cost{iterations};
    return ReadTail(bytes, 14, header);
}

HeaderRead ReadHeaderV2(std::string_view bytes, Header& header) {
    if (bytes.size() < kFixedV2 || !bytes.starts_with(kMagicV2)) return HeaderRead::Damaged;
    const std::uint8_t* const b = Raw(bytes);
    const Argon2Cost cost{.memoryKiB = BigEndian32(b + 11), .passes = b[15], .lanes = b[16]};
    if (b[10] != kArgon2id13 ||
        !Within(cost.memoryKiB, kLeastArgon2.memoryKiB, kMostArgon2.memoryKiB) ||
        !Within(cost.passes, kLeastArgon2.passes, kMostArgon2.passes) ||
        !Within(cost.lanes, kLeastArgon2.lanes, kMostArgon2.lanes)) {
        return HeaderRead::Damaged;
    }
    header.version = 2;
    header.kdf = cost;
    return ReadTail(bytes, 17, header);
}

std::optional<std::string> WriteHeaderV2(crypto::Hmac& hmac, const FileKeys& keys, Header& header) {
    const auto* cost = std::get_if<Argon2Cost>(&header.kdf);
    if (!cost || header.extension.size() > 255) return std::nullopt;
    std::string h(kMagicV2);
    h += static_cast<char>(kArgon2id13);
    for (int shift = 24; shift >= 0; shift -= 8) h += static_cast<char>(cost->memoryKiB >> shift);
    h += static_cast<char>(cost->passes);
    h += static_cast<char>(cost->lanes);
    Append(h, header.salt);
    Append(h, header.nonce);
    h += static_cast<char>(header.extension.size());
    h += header.extension;
    std::array<std::uint8_t, kMacSize> mac{};
    const std::array<crypto::Bytes, 1> message{crypto::Bytes(Raw(h), h.size())};
    if (!hmac.Sign(keys.kh.bytes, message, mac)) return std::nullopt;
    Append(h, mac);
    header.size = h.size();
    return h;
}

bool DeriveFileKeys(crypto::Hmac& hmac, const Secret& m, const Header& header, FileKeys& keys) {
    const bool v1 = header.version == 1;
    // Both keys expand from one PRK: HKDF's extraction depends only on M and the nonce.
    Secret prk;
    return HkdfExtract(hmac, m.bytes, header.nonce, prk) &&
           HkdfExpand(hmac, prk, v1 ? "kolvik sterk v1 kop" : "kolvik sterk v2 kop",
                      keys.kh.bytes) &&
           HkdfExpand(hmac, prk, v1 ? "kolvik sterk v1 data" : "kolvik sterk v2 data",
                      keys.kd.bytes);
}

bool MacMatches(crypto::Hmac& hmac, const FileKeys& keys, std::string_view bytes,
                const Header& header) {
    const std::size_t signedSize = header.size - kMacSize;
    std::array<std::uint8_t, kMacSize> mac{};
    if (bytes.size() < header.size) return false;
    const std::array<crypto::Bytes, 1> message{crypto::Bytes(Raw(bytes), signedSize)};
    if (!hmac.Sign(keys.kh.bytes, message, mac)) return false;
    // Compared in full, whatever differs first.
    std::uint8_t differs = 0;
    for (std::size_t i = 0; i < kMacSize; ++i)
        differs |= static_cast<std::uint8_t>(mac[i] ^ Raw(bytes)[signedSize + i]);
    return differs == 0;
}

}  // namespace kolvik::strong
