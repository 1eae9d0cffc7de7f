// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's primitives over OpenSSL 3's libcrypto.
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>

#include "platform/Crypto.h"

namespace kolvik::crypto {

bool Pbkdf2Sha256(std::string_view password, Bytes salt, std::uint32_t iterations,
                  std::span<std::uint8_t> out) {
    if (password.size() > INT_MAX || salt.size() > INT_MAX || out.size() > INT_MAX ||
        iterations == 0 || iterations > INT_MAX) {
        return false;
    }
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), static_cast<int>(iterations),
                             EVP_sha256(), static_cast<int>(out.size()), out.data()) == 1;
}

bool HmacSha256(Bytes key, Bytes data, std::span<std::uint8_t, kSha256Size> out) {
    unsigned int size = 0;
    if (key.size() > INT_MAX) return false;
    return HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data.data(), data.size(),
                out.data(), &size) != nullptr &&
           size == kSha256Size;
}

bool RandomBytes(std::span<std::uint8_t> out) {
    return out.size() <= INT_MAX && RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

void Wipe(void* data, std::size_t size) { OPENSSL_cleanse(data, size); }

struct AesGcm::Impl {
    EVP_CIPHER_CTX* seal = nullptr;
    EVP_CIPHER_CTX* open = nullptr;
    ~Impl() {
        EVP_CIPHER_CTX_free(seal);
        EVP_CIPHER_CTX_free(open);
    }
};

namespace {

// Sets the key once; each chunk then only sets its nonce.
EVP_CIPHER_CTX* KeyedContext(std::span<const std::uint8_t, kAesKeySize> key, bool sealing) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx == nullptr) return nullptr;
    if (EVP_CipherInit_ex(ctx, EVP_aes_256_gcm(), nullptr, key.data(), nullptr, sealing ? 1 : 0) !=
        1) {
        EVP_CIPHER_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

// The aad and the data in pieces that fit an int.
bool Feed(EVP_CIPHER_CTX* ctx, std::uint8_t* out, Bytes in) {
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    for (std::size_t done = 0; done < in.size();) {
        const std::size_t n = std::min(kPiece, in.size() - done);
        int got = 0;
        if (EVP_CipherUpdate(ctx, out ? out + done : nullptr, &got, in.data() + done,
                             static_cast<int>(n)) != 1) {
            return false;
        }
        done += n;
    }
    return true;
}

}  // namespace

AesGcm::AesGcm(std::span<const std::uint8_t, kAesKeySize> key) {
    auto impl = std::make_unique<Impl>();
    impl->seal = KeyedContext(key, true);
    impl->open = KeyedContext(key, false);
    if (impl->seal && impl->open) impl_ = std::move(impl);
}

AesGcm::~AesGcm() = default;

bool AesGcm::Seal(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes plain,
                  std::uint8_t* out) {
    if (!impl_) return false;
    EVP_CIPHER_CTX* ctx = impl_->seal;
    int got = 0;
    return EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data(), 1) == 1 &&
           Feed(ctx, nullptr, aad) && Feed(ctx, out, plain) &&
           EVP_CipherFinal_ex(ctx, out + plain.size(), &got) == 1 &&
           EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, kGcmTagSize, out + plain.size()) == 1;
}

bool AesGcm::Open(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes sealed,
                  std::uint8_t* out) {
    if (!impl_ || sealed.size() < kGcmTagSize) return false;
    EVP_CIPHER_CTX* ctx = impl_->open;
    const std::size_t size = sealed.size() - kGcmTagSize;
    // The library takes the expected tag through a non-const pointer but only reads it.
    std::array<std::uint8_t, kGcmTagSize> tag{};
    std::copy(sealed.begin() + static_cast<std::ptrdiff_t>(size), sealed.end(), tag.begin());
    int got = 0;
    return EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, nonce.data(), 0) == 1 &&
           Feed(ctx, nullptr, aad) && Feed(ctx, out, sealed.first(size)) &&
           EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, kGcmTagSize, tag.data()) == 1 &&
           EVP_CipherFinal_ex(ctx, out + size, &got) == 1;
}

}  // namespace kolvik::crypto
