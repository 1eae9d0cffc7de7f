// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's primitives over the system's CNG (bcrypt.dll). Its own HKDF is missing
// under Wine, which is one reason the engine builds HKDF from HMAC.
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "platform/Crypto.h"

namespace kolvik::crypto {
namespace {

constexpr ULONG kMaxPiece = ULONG_MAX;

struct Provider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    Provider(const wchar_t* algorithm, ULONG flags, const wchar_t* chaining = nullptr) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, flags))) {
            handle = nullptr;
            return;
        }
        const auto bytes = chaining ? (std::wcslen(chaining) + 1) * sizeof(wchar_t) : 0;
        if (chaining && !BCRYPT_SUCCESS(BCryptSetProperty(
                            handle, BCRYPT_CHAINING_MODE,
                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chaining)),
                            static_cast<ULONG>(bytes), 0))) {
            BCryptCloseAlgorithmProvider(handle, 0);
            handle = nullptr;
        }
    }
    ~Provider() {
        if (handle) BCryptCloseAlgorithmProvider(handle, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
};

// Opened once: opening a provider costs far more than one HMAC.
BCRYPT_ALG_HANDLE HmacSha256Provider() {
    static const Provider provider(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    return provider.handle;
}

BCRYPT_ALG_HANDLE AesGcmProvider() {
    static const Provider provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_GCM);
    return provider.handle;
}

PUCHAR In(const std::uint8_t* data) { return const_cast<PUCHAR>(data); }

}  // namespace

bool Pbkdf2Sha256(std::string_view password, Bytes salt, std::uint32_t iterations,
                  std::span<std::uint8_t> out) {
    const BCRYPT_ALG_HANDLE prf = HmacSha256Provider();
    if (!prf || iterations == 0 || password.size() > kMaxPiece || salt.size() > kMaxPiece ||
        out.size() > kMaxPiece) {
        return false;
    }
    return BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(
        prf, reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
        static_cast<ULONG>(password.size()), In(salt.data()), static_cast<ULONG>(salt.size()),
        iterations, out.data(), static_cast<ULONG>(out.size()), 0));
}

bool HmacSha256(Bytes key, Bytes data, std::span<std::uint8_t, kSha256Size> out) {
    const BCRYPT_ALG_HANDLE alg = HmacSha256Provider();
    if (!alg || key.size() > kMaxPiece) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, nullptr, 0, In(key.data()),
                                         static_cast<ULONG>(key.size()), 0))) {
        return false;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < data.size();) {
        const std::size_t n = std::min<std::size_t>(kMaxPiece, data.size() - done);
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, In(data.data() + done), static_cast<ULONG>(n), 0));
        done += n;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, out.data(), kSha256Size, 0));
    BCryptDestroyHash(hash);
    return ok;
}

bool RandomBytes(std::span<std::uint8_t> out) {
    return out.size() <= kMaxPiece &&
           BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

void Wipe(void* data, std::size_t size) { SecureZeroMemory(data, size); }

struct AesGcm::Impl {
    BCRYPT_KEY_HANDLE key = nullptr;
    ~Impl() {
        if (key) BCryptDestroyKey(key);
    }
};

AesGcm::AesGcm(std::span<const std::uint8_t, kAesKeySize> key) {
    const BCRYPT_ALG_HANDLE alg = AesGcmProvider();
    auto impl = std::make_unique<Impl>();
    if (alg && BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(alg, &impl->key, nullptr, 0,
                                                         In(key.data()), kAesKeySize, 0))) {
        impl_ = std::move(impl);
    }
}

AesGcm::~AesGcm() = default;

namespace {

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO ModeInfo(std::span<const std::uint8_t, kGcmNonceSize> nonce,
                                               Bytes aad, std::uint8_t* tag) {
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = In(nonce.data());
    info.cbNonce = kGcmNonceSize;
    info.pbAuthData = aad.empty() ? nullptr : In(aad.data());
    info.cbAuthData = static_cast<ULONG>(aad.size());
    info.pbTag = tag;
    info.cbTag = kGcmTagSize;
    return info;
}

}  // namespace

bool AesGcm::Seal(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes plain,
                  std::uint8_t* out) {
    if (!impl_ || aad.size() > kMaxPiece || plain.size() > kMaxPiece) return false;
    auto info = ModeInfo(nonce, aad, out + plain.size());
    ULONG written = 0;
    return BCRYPT_SUCCESS(BCryptEncrypt(impl_->key, plain.empty() ? nullptr : In(plain.data()),
                                        static_cast<ULONG>(plain.size()), &info, nullptr, 0,
                                        plain.empty() ? nullptr : out,
                                        static_cast<ULONG>(plain.size()), &written, 0)) &&
           written == plain.size();
}

bool AesGcm::Open(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes sealed,
                  std::uint8_t* out) {
    if (!impl_ || sealed.size() < kGcmTagSize || aad.size() > kMaxPiece ||
        sealed.size() - kGcmTagSize > kMaxPiece) {
        return false;
    }
    const std::size_t size = sealed.size() - kGcmTagSize;
    if (size == 0) {
        // Wine's BCryptDecrypt accepts any tag when there is no ciphertext: the tag is made
        // anew and compared here instead.
        std::array<std::uint8_t, kGcmTagSize> made{};
        if (!Seal(nonce, aad, {}, made.data())) return false;
        std::uint8_t differs = 0;
        for (std::size_t i = 0; i < kGcmTagSize; ++i)
            differs |= static_cast<std::uint8_t>(made[i] ^ sealed[i]);
        return differs == 0;
    }
    std::array<std::uint8_t, kGcmTagSize> tag{};
    std::copy(sealed.begin() + static_cast<std::ptrdiff_t>(size), sealed.end(), tag.begin());
    auto info = ModeInfo(nonce, aad, tag.data());
    ULONG written = 0;
    return BCRYPT_SUCCESS(BCryptDecrypt(
               impl_->key, size == 0 ? nullptr : In(sealed.data()), static_cast<ULONG>(size), &info,
               nullptr, 0, size == 0 ? nullptr : out, static_cast<ULONG>(size), &written, 0)) &&
           written == size;
}

}  // namespace kolvik::crypto
