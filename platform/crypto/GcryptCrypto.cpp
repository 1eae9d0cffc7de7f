// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's primitives over libgcrypt, the same library on Linux and Windows.
#include <gcrypt.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "platform/Crypto.h"

namespace kolvik::crypto {
namespace {

// libgcrypt's notes are English lines on standard error, such as its Windows entropy
// gatherer's advice to run 'diskperf -y'; only what comes right before an abort is let through.
void LogOnlyFatal(void* /*unused*/, int level, const char* format, va_list args) {
    if (level == GCRY_LOG_FATAL || level == GCRY_LOG_BUG) std::vfprintf(stderr, format, args);
}

// Every file takes a fresh nonce, so a request must be cheap. libgcrypt's standard generator
// mixes its pools on each one (about 20 us on Linux, 0.7 ms under Wine), and its system type
// on Windows runs the slow entropy gatherer each time. So: on Linux the system type, one
// getrandom() a request; on Windows the DRBG, which seeds once (about 50 ms), then about 2 us.
#ifdef _WIN32
constexpr int kGenerator = GCRY_RNG_TYPE_FIPS;  // the DRBG, despite the name
#else
constexpr int kGenerator = GCRY_RNG_TYPE_SYSTEM;
#endif

// libgcrypt must be set up once before any other call. A function-local static does that on
// first use, and the language makes threads that race for it wait for the one that won.
bool Initialised() {
    static const bool ready = [] {
        gcry_set_log_handler(LogOnlyFatal, nullptr);
        // Only heeded before the version check.
        static_cast<void>(gcry_control(GCRYCTL_SET_PREFERRED_RNG_TYPE, kGenerator));
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
        // Keys live in ordinary memory and are wiped (Wipe); a locked pool would add nothing
        // but a warning where it cannot be locked.
        return gcry_control(GCRYCTL_DISABLE_SECMEM, 0) == 0 &&
               gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0) == 0;
    }();
    return ready;
}

// libgcrypt refuses a null pointer even with a length of 0.
const void* Text(std::string_view s) { return s.empty() ? "" : s.data(); }

void* Mutable(const std::uint8_t* data) { return const_cast<std::uint8_t*>(data); }

bool FitsU32(std::size_t n) { return n <= std::numeric_limits<std::uint32_t>::max(); }

}  // namespace

bool Pbkdf2Sha256(std::string_view password, Bytes salt, std::uint32_t iterations,
                  std::span<std::uint8_t> out) {
    return Initialised() && iterations > 0 &&
           gcry_kdf_derive(Text(password), password.size(), GCRY_KDF_PBKDF2, GCRY_MD_SHA256,
                           salt.data(), salt.size(), iterations, out.size(), out.data()) == 0;
}

bool HmacSha256(Bytes key, Bytes data, std::span<std::uint8_t, kSha256Size> out) {
    if (!Initialised()) return false;
    // With the HMAC flag the first buffer is the key.
    std::array<gcry_buffer_t, 2> iov{};
    iov[0].size = iov[0].len = key.size();
    iov[0].data = Mutable(key.data());
    iov[1].size = iov[1].len = data.size();
    iov[1].data = Mutable(data.data());
    return gcry_md_hash_buffers(GCRY_MD_SHA256, GCRY_MD_FLAG_HMAC, out.data(), iov.data(),
                                static_cast<int>(iov.size())) == 0;
}

bool Argon2id(std::string_view password, Bytes salt, std::uint32_t passes, std::uint32_t memoryKiB,
              std::uint32_t lanes, std::span<std::uint8_t> out, Bytes secret, Bytes ad) {
    // The ranges RFC 9106 allows. Below 8 KiB per lane libgcrypt would quietly use more
    // memory than the m it hashes in, and the result would match no other Argon2id.
    if (!Initialised() || passes == 0 || lanes == 0 || lanes >= (1U << 24) ||
        memoryKiB < 8 * lanes || out.size() < 4 || !FitsU32(out.size()) ||
        !FitsU32(password.size()) || !FitsU32(salt.size()) || !FitsU32(secret.size()) ||
        !FitsU32(ad.size())) {
        return false;
    }
    // unsigned long is 32 bits on Windows: every value was checked to fit.
    const std::array<unsigned long, 4> params{static_cast<unsigned long>(out.size()), passes,
                                              memoryKiB, lanes};
    gcry_kdf_hd_t h = nullptr;
    if (gcry_kdf_open(&h, GCRY_KDF_ARGON2, GCRY_KDF_ARGON2ID, params.data(), params.size(),
                      Text(password), password.size(), salt.data(), salt.size(), secret.data(),
                      secret.size(), ad.data(), ad.size()) != 0) {
        return false;
    }
    // One thread: the lanes are computed one after the other, as the strong format uses one.
    const bool ok =
        gcry_kdf_compute(h, nullptr) == 0 && gcry_kdf_final(h, out.size(), out.data()) == 0;
    gcry_kdf_close(h);
    return ok;
}

bool RandomBytes(std::span<std::uint8_t> out) {
    if (!Initialised()) return false;
    gcry_randomize(out.data(), out.size(), GCRY_STRONG_RANDOM);
    return true;
}

// libgcrypt keeps its own wipe to itself; stores through a volatile pointer are not dropped.
void Wipe(void* data, std::size_t size) {
    auto* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

struct Hmac::Impl {
    gcry_md_hd_t md = nullptr;
    Impl() = default;
    ~Impl() { gcry_md_close(md); }  // wipes the pads and the state
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

Hmac::Hmac() {
    auto impl = std::make_unique<Impl>();
    if (Initialised() && gcry_md_open(&impl->md, GCRY_MD_SHA256, GCRY_MD_FLAG_HMAC) == 0)
        impl_ = std::move(impl);
}

Hmac::~Hmac() = default;

bool Hmac::Sign(Bytes key, std::span<const Bytes> parts, std::span<std::uint8_t, kSha256Size> out) {
    if (!impl_ || gcry_md_setkey(impl_->md, key.data(), key.size()) != 0) return false;
    // Back to the state right after the key, whatever the last message left.
    gcry_md_reset(impl_->md);
    // A null write would flush rather than add nothing: empty parts are left out.
    for (const Bytes part : parts)
        if (!part.empty()) gcry_md_write(impl_->md, part.data(), part.size());
    const unsigned char* mac = gcry_md_read(impl_->md, GCRY_MD_SHA256);
    if (mac == nullptr) return false;
    std::copy_n(mac, kSha256Size, out.begin());
    return true;
}

struct AesGcm::Impl {
    gcry_cipher_hd_t cipher = nullptr;
    Impl() = default;
    ~Impl() { gcry_cipher_close(cipher); }  // wipes the key schedule
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

AesGcm::AesGcm() {
    auto impl = std::make_unique<Impl>();
    if (Initialised() &&
        gcry_cipher_open(&impl->cipher, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_GCM, 0) == 0) {
        impl_ = std::move(impl);
    }
}

AesGcm::AesGcm(std::span<const std::uint8_t, kAesKeySize> key) : AesGcm() {
    static_cast<void>(Rekey(key));  // Ready() tells
}

AesGcm::~AesGcm() = default;

bool AesGcm::Rekey(std::span<const std::uint8_t, kAesKeySize> key) {
    keyed_ = impl_ && gcry_cipher_setkey(impl_->cipher, key.data(), key.size()) == 0;
    return keyed_;
}

namespace {

// A new nonce starts a new message: libgcrypt clears the previous one's data and tag state.
bool Begin(gcry_cipher_hd_t cipher, std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad) {
    return gcry_cipher_setiv(cipher, nonce.data(), nonce.size()) == 0 &&
           (aad.empty() || gcry_cipher_authenticate(cipher, aad.data(), aad.size()) == 0);
}

}  // namespace

bool AesGcm::Seal(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes plain,
                  std::uint8_t* out) {
    if (!Ready()) return false;
    gcry_cipher_hd_t cipher = impl_->cipher;
    return Begin(cipher, nonce, aad) &&
           (plain.empty() ||
            gcry_cipher_encrypt(cipher, out, plain.size(), plain.data(), plain.size()) == 0) &&
           gcry_cipher_gettag(cipher, out + plain.size(), kGcmTagSize) == 0;
}

bool AesGcm::Open(std::span<const std::uint8_t, kGcmNonceSize> nonce, Bytes aad, Bytes sealed,
                  std::uint8_t* out) {
    if (!Ready() || sealed.size() < kGcmTagSize) return false;
    gcry_cipher_hd_t cipher = impl_->cipher;
    const std::size_t size = sealed.size() - kGcmTagSize;
    // checktag compares in constant time.
    return Begin(cipher, nonce, aad) &&
           (size == 0 || gcry_cipher_decrypt(cipher, out, size, sealed.data(), size) == 0) &&
           gcry_cipher_checktag(cipher, sealed.data() + size, kGcmTagSize) == 0;
}

}  // namespace kolvik::crypto
