// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both versions of the strong .kol format share: keys from the password (the master key
// M, then HKDF per file), the cache of M, and the data in AES-256-GCM chunks. Their headers
// are in engine/StrongHeader.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/Transform.h"
#include "platform/Crypto.h"
#include "platform/SafeFile.h"

namespace kolvik::strong {

inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 16;
inline constexpr std::size_t kMacSize = 32;
// Version 2's: 50 fixed bytes, an extension of up to 255, the MAC. Version 1's is shorter.
inline constexpr std::size_t kLongestHeader = 50 + 255 + kMacSize;
inline constexpr std::size_t kChunk = 65'536;
inline constexpr std::size_t kSealedChunk = kChunk + crypto::kGcmTagSize;

using Salt = std::array<std::uint8_t, kSaltSize>;
using FileNonce = std::array<std::uint8_t, kNonceSize>;

// A key that wipes itself.
struct Secret {
    std::array<std::uint8_t, 32> bytes{};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { crypto::Wipe(bytes.data(), bytes.size()); }
};

// Version 1's derivation, now only read.
struct Pbkdf2Cost {
    std::uint32_t iterations = 0;
    auto operator<=>(const Pbkdf2Cost&) const = default;
};
// Version 2's. The defaults are what new files are written with.
struct Argon2Cost {
    std::uint32_t memoryKiB = 262'144;
    std::uint32_t passes = 3;
    std::uint32_t lanes = 1;
    auto operator<=>(const Argon2Cost&) const = default;
};
using Kdf = std::variant<Pbkdf2Cost, Argon2Cost>;

// RFC 5869 over the system's HMAC; out at most 255 * 32 bytes.
[[nodiscard]] bool HkdfSha256(crypto::Bytes ikm, crypto::Bytes salt, std::string_view info,
                              std::span<std::uint8_t> out);
// Its two steps, for keys that share one extraction: PRK from ikm and salt, then out from PRK.
[[nodiscard]] bool HkdfExtract(crypto::Hmac& hmac, crypto::Bytes ikm, crypto::Bytes salt,
                               Secret& prk);
[[nodiscard]] bool HkdfExpand(crypto::Hmac& hmac, const Secret& prk, std::string_view info,
                              std::span<std::uint8_t> out);
// M, from the password as UTF-8.
[[nodiscard]] bool MasterKey(std::string_view password, const Salt& salt, const Kdf& kdf,
                             Secret& m);

// One file's keys: Kh seals the header, Kd the chunks.
struct FileKeys {
    Secret kh;
    Secret kd;
};

// The 12-byte nonce of chunk index.
std::array<std::uint8_t, crypto::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool final);

// M per password, salt and derivation, so that a tree made by one run costs one derivation.
// The passwords it keeps are wiped with the keys.
class KeyCache {
  public:
    KeyCache() = default;
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;
    ~KeyCache();
    // nullptr when the library refused.
    const Secret* Get(const std::string& password, const Salt& salt, const Kdf& kdf);
    void Forget();

  private:
    // Each entry stays where it was made: a moved string would leave its bytes behind.
    struct Entry {
        std::string password;
        Salt salt{};
        Kdf kdf;
        Secret m;
        ~Entry();
    };
    std::vector<std::unique_ptr<Entry>> entries_;
};

// Streams the data after the header. Encrypting, the source's bytes become chunks; decrypting,
// chunks become plain bytes, and a chunk whose tag fails, a missing final chunk or anything
// after it ends the stream with damaged set. preloaded: data bytes already read with the
// header, all there is when preloadedAll. H goes out first when encrypting. The cipher is
// rekeyed with Kd. What the buffer held is wiped before it returns.
StreamEnd StreamChunks(safefile::Source& source, const BlockSink& sink, crypto::AesGcm& cipher,
                       const Secret& kd, std::string_view h, bool encrypting,
                       std::vector<std::uint8_t>& buffer, const StreamHooks& hooks,
                       safefile::Fault& fault, bool& damaged, std::string_view preloaded = {},
                       bool preloadedAll = false);

}  // namespace kolvik::strong
