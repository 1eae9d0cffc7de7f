// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strong .kol format: a header sealed with HMAC-SHA256 and the data in AES-256-GCM chunks,
// with keys from PBKDF2 and HKDF. The name rules are those of the older format.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/Transform.h"
#include "platform/Crypto.h"
#include "platform/SafeFile.h"

namespace kolvik::strong {

inline constexpr std::string_view kMagic{"\0KOLVIK-S1", 10};
inline constexpr std::uint32_t kWrittenIterations = 600'000;
inline constexpr std::uint32_t kFewestIterations = 100'000;
inline constexpr std::uint32_t kMostIterations = 10'000'000;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 16;
inline constexpr std::size_t kMacSize = 32;
inline constexpr std::size_t kFixedSize = 47;  // up to the extension
inline constexpr std::size_t kLongestHeader = kFixedSize + 255 + kMacSize;
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

// True when bytes start like a strong file (the older format cannot be told apart by less).
bool LooksStrong(std::string_view bytes);

struct Header {
    std::uint32_t iterations = 0;
    Salt salt{};
    FileNonce nonce{};
    std::string extension;  // UTF-8, as the name shows it
    std::size_t size = 0;   // of the whole header, MAC included
};

enum class HeaderRead { Ok, Damaged };
// Reads the header at the start of bytes; Damaged when it is cut short or out of range.
HeaderRead ReadHeader(std::string_view bytes, Header& header);

// RFC 5869 over the system's HMAC; out at most 255 * 32 bytes.
[[nodiscard]] bool HkdfSha256(crypto::Bytes ikm, crypto::Bytes salt, std::string_view info,
                              std::span<std::uint8_t> out);
// M, from the password as UTF-8.
[[nodiscard]] bool MasterKey(std::string_view password, const Salt& salt, std::uint32_t iterations,
                             Secret& m);

// One file's keys and its header bytes H.
struct FileKeys {
    Secret kh;
    Secret kd;
};
[[nodiscard]] bool DeriveFileKeys(const Secret& m, const FileNonce& nonce, FileKeys& keys);
// H for writing: all fields, then the MAC. nullopt when the extension is longer than 255 bytes.
std::optional<std::string> WriteHeader(const FileKeys& keys, std::uint32_t iterations,
                                       const Salt& salt, const FileNonce& nonce,
                                       std::string_view extension);
// The header at the start of bytes carries a MAC made with keys.kh.
bool MacMatches(const FileKeys& keys, std::string_view bytes, const Header& header);

// The 12-byte nonce of chunk index.
std::array<std::uint8_t, crypto::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool final);

// M per password, salt and iterations, so that a tree made by one run costs one derivation.
class KeyCache {
  public:
    // nullptr when the library refused.
    const Secret* Get(const std::string& password, const Salt& salt, std::uint32_t iterations);
    ~KeyCache();

  private:
    void Forget();
    std::map<std::tuple<std::string, Salt, std::uint32_t>, std::unique_ptr<Secret>> keys_;
};

// Streams the data after the header. Encrypting, the source's bytes become chunks; decrypting,
// chunks become plain bytes, and a chunk whose tag fails, a missing final chunk or anything
// after it ends the stream with damaged set. preloaded: data bytes already read with the
// header, all there is when preloadedAll. H goes out first when encrypting.
StreamEnd StreamChunks(safefile::Source& source, const BlockSink& sink, const Secret& kd,
                       std::string_view h, bool encrypting, std::vector<std::uint8_t>& buffer,
                       const StreamHooks& hooks, safefile::Fault& fault, bool& damaged,
                       std::string_view preloaded = {}, bool preloadedAll = false);

}  // namespace kolvik::strong
