// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The few primitives the strong format needs, from one cryptographic library on both systems
// (libgcrypt); nothing here is home-made. A false result means the library refused (it refuses
// an empty salt, and Argon2id an empty password), except for AesGcm::Open, where it means the
// tag did not verify.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace kolvik::crypto {

using Bytes = std::span<const std::uint8_t>;
inline constexpr std::size_t kSha256Size = 32;
inline constexpr std::size_t kAesKeySize = 32;
inline constexpr std::size_t kGcmNonceSize = 12;
inline constexpr std::size_t kGcmTagSize = 16;

[[nodiscard]] bool Pbkdf2Sha256(std::string_view password, Bytes salt, std::uint32_t iterations,
                                std::span<std::uint8_t> out);
[[nodiscard]] bool HmacSha256(Bytes key, Bytes data, std::span<std::uint8_t, kSha256Size> out);
// Argon2id, version 0x13 (RFC 9106). memoryKiB and passes as the RFC names them m and t;
// secret and ad are empty in Kolvik's files and exist for the published test vectors.
[[nodiscard]] bool Argon2id(std::string_view password, Bytes salt, std::uint32_t passes,
                            std::uint32_t memoryKiB, std::uint32_t lanes,
                            std::span<std::uint8_t> out, Bytes secret = {}, Bytes ad = {});
[[nodiscard]] bool RandomBytes(std::span<std::uint8_t> out);
// Not optimised away, unlike a plain memset before the memory is freed.
void Wipe(void* data, std::size_t size);

// HMAC-SHA256 on one context that is kept and keyed afresh for each message, for the few short
// MACs every file of a run takes: no context to open, look up and free per message.
class Hmac {
  public:
    Hmac();
    ~Hmac();
    Hmac(const Hmac&) = delete;
    Hmac& operator=(const Hmac&) = delete;
    // The MAC of the parts one after the other, under key.
    [[nodiscard]] bool Sign(Bytes key, std::span<const Bytes> parts,
                            std::span<std::uint8_t, kSha256Size> out);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// AES-256-GCM with a 12-byte nonce and a 16-byte tag. The key is set up once and used for
// every chunk of a file. Rekey hands the next file's key to the same cipher, so a run of
// thousands of small files opens one cipher, not one per file.
class AesGcm {
  public:
    AesGcm();  // without a key: not Ready() until Rekey succeeds
    explicit AesGcm(std::span<const std::uint8_t, kAesKeySize> key);
    ~AesGcm();
    AesGcm(const AesGcm&) = delete;
    AesGcm& operator=(const AesGcm&) = delete;

    bool Ready() const { return keyed_; }
    // On failure the cipher holds no key and refuses to seal or open.
    [[nodiscard]] bool Rekey(std::span<const std::uint8_t, kAesKeySize> key);
    // out: plain.size() bytes of ciphertext followed by the tag.
    [[nodiscard]] bool Seal(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad,
                            Bytes plain, std::uint8_t* out);
    // sealed: ciphertext then tag; out receives sealed.size() - kGcmTagSize bytes, which are
    // only to be used when the result is true.
    [[nodiscard]] bool Open(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad,
                            Bytes sealed, std::uint8_t* out);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool keyed_ = false;
};

}  // namespace kolvik::crypto
