// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/StrongFormat.h"

#include <algorithm>
#include <cstring>

namespace kolvik::strong {
namespace {

constexpr std::string_view kHeaderInfo = "kolvik sterk v1 kop";
constexpr std::string_view kDataInfo = "kolvik sterk v1 data";
// Chunks per block: a read and a write of about a megabyte between yields.
constexpr std::size_t kChunksPerBlock = 16;
constexpr std::size_t kInputRoom = kChunksPerBlock * kSealedChunk;
constexpr std::size_t kOutputRoom = kLongestHeader + kChunksPerBlock * kSealedChunk;

const std::uint8_t* Raw(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

crypto::Bytes View(std::string_view s) { return {Raw(s), s.size()}; }

}  // namespace

bool LooksStrong(std::string_view bytes) { return bytes.starts_with(kMagic); }

HeaderRead ReadHeader(std::string_view bytes, Header& header) {
    if (bytes.size() < kFixedSize || !LooksStrong(bytes)) return HeaderRead::Damaged;
    const std::uint8_t* const b = Raw(bytes);
    header.iterations = std::uint32_t{b[10]} << 24 | std::uint32_t{b[11]} << 16 |
                        std::uint32_t{b[12]} << 8 | std::uint32_t{b[13]};
    std::copy_n(b + 14, kSaltSize, header.salt.begin());
    std::copy_n(b + 30, kNonceSize, header.nonce.begin());
    const std::size_t e = b[46];
    header.size = kFixedSize + e + kMacSize;
    if (header.iterations < kFewestIterations || header.iterations > kMostIterations ||
        bytes.size() < header.size) {
        return HeaderRead::Damaged;
    }
    header.extension.assign(bytes.substr(kFixedSize, e));
    return HeaderRead::Ok;
}

bool HkdfSha256(crypto::Bytes ikm, crypto::Bytes salt, std::string_view info,
                std::span<std::uint8_t> out) {
    constexpr std::size_t kHash = crypto::kSha256Size;
    if (out.size() > 255 * kHash) return false;
    // An absent salt is a string of HashLen zeros.
    const std::array<std::uint8_t, kHash> zeros{};
    Secret prk;
    if (!crypto::HmacSha256(salt.empty() ? crypto::Bytes(zeros) : salt, ikm, prk.bytes))
        return false;
    // T(i) = HMAC(PRK, T(i-1) | info | i)
    std::vector<std::uint8_t> message;
    Secret t;
    std::size_t tSize = 0;
    for (std::size_t done = 0, i = 1; done < out.size(); ++i) {
        message.assign(t.bytes.begin(), t.bytes.begin() + static_cast<std::ptrdiff_t>(tSize));
        message.insert(message.end(), info.begin(), info.end());
        message.push_back(static_cast<std::uint8_t>(i));
        const bool ok = crypto::HmacSha256(prk.bytes, message, t.bytes);
        crypto::Wipe(message.data(), message.size());
        if (!ok) return false;
        tSize = kHash;
        const std::size_t n = std::min(kHash, out.size() - done);
        std::copy_n(t.bytes.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(done));
        done += n;
    }
    return true;
}

bool MasterKey(std::string_view password, const Salt& salt, std::uint32_t iterations, Secret& m) {
    return crypto::Pbkdf2Sha256(password, salt, iterations, m.bytes);
}

bool DeriveFileKeys(const Secret& m, const FileNonce& nonce, FileKeys& keys) {
    return HkdfSha256(m.bytes, nonce, kHeaderInfo, keys.kh.bytes) &&
           HkdfSha256(m.bytes, nonce, kDataInfo, keys.kd.bytes);
}

std::optional<std::string> WriteHeader(const FileKeys& keys, std::uint32_t iterations,
                                       const Salt& salt, const FileNonce& nonce,
                                       std::string_view extension) {
    if (extension.size() > 255) return std::nullopt;
    std::string h(kMagic);
    for (int shift = 24; shift >= 0; shift -= 8) h += static_cast<char>(iterations >> shift);
    h.append(reinterpret_cast<const char*>(salt.data()), salt.size());
    h.append(reinterpret_cast<const char*>(nonce.data()), nonce.size());
    h += static_cast<char>(extension.size());
    h += extension;
    std::array<std::uint8_t, kMacSize> mac{};
    if (!crypto::HmacSha256(keys.kh.bytes, View(h), mac)) return std::nullopt;
    h.append(reinterpret_cast<const char*>(mac.data()), mac.size());
    return h;
}

bool MacMatches(const FileKeys& keys, std::string_view bytes, const Header& header) {
    const std::size_t signedSize = header.size - kMacSize;
    std::array<std::uint8_t, kMacSize> mac{};
    if (bytes.size() < header.size ||
        !crypto::HmacSha256(keys.kh.bytes, View(bytes.substr(0, signedSize)), mac)) {
        return false;
    }
    // Compared in full, whatever differs first.
    std::uint8_t differs = 0;
    for (std::size_t i = 0; i < kMacSize; ++i)
        differs |= static_cast<std::uint8_t>(mac[i] ^ Raw(bytes)[signedSize + i]);
    return differs == 0;
}

std::array<std::uint8_t, crypto::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool final) {
    std::array<std::uint8_t, crypto::kGcmNonceSize> n{};
    // Eleven bytes big-endian; the top three of them stay zero for any 64-bit index.
    for (int i = 10, shift = 0; shift < 64; --i, shift += 8)
        n[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(index >> shift);
    n[11] = final ? 1 : 0;
    return n;
}

const Secret* KeyCache::Get(const std::string& password, const Salt& salt,
                            std::uint32_t iterations) {
    auto key = std::make_tuple(password, salt, iterations);
    if (auto it = keys_.find(key); it != keys_.end()) return it->second.get();
    // A tree from many runs is rare; a hostile one must not make the cache grow without end.
    if (keys_.size() >= 64) Forget();
    auto m = std::make_unique<Secret>();
    if (!MasterKey(password, salt, iterations, *m)) return nullptr;
    return keys_.emplace(std::move(key), std::move(m)).first->second.get();
}

KeyCache::~KeyCache() { Forget(); }

void KeyCache::Forget() {
    // The passwords kept as keys are secrets too; the keys wipe themselves.
    for (auto& [key, m] : keys_) {
        auto& password = const_cast<std::string&>(std::get<0>(key));
        crypto::Wipe(password.data(), password.size());
    }
    keys_.clear();
}

StreamEnd StreamChunks(safefile::Source& source, const BlockSink& sink, const Secret& kd,
                       std::string_view h, bool encrypting, std::vector<std::uint8_t>& buffer,
                       const StreamHooks& hooks, safefile::Fault& fault, bool& damaged,
                       std::string_view preloaded, bool preloadedAll) {
    using safefile::Fault;
    damaged = false;
    crypto::AesGcm aes(kd.bytes);
    if (!aes.Ready()) {
        fault = Fault::Io;
        return StreamEnd::Failed;
    }
    if (buffer.size() < kInputRoom + kOutputRoom) buffer.resize(kInputRoom + kOutputRoom);
    std::uint8_t* const in = buffer.data();
    std::uint8_t* const out = in + kInputRoom;
    // Encrypting reads whole blocks of plain chunks; decrypting, of sealed ones.
    const std::size_t chunkIn = encrypting ? kChunk : kSealedChunk;
    const std::size_t room = kChunksPerBlock * chunkIn;
    const crypto::Bytes aad = View(h);
    std::size_t have = std::min(preloaded.size(), room);
    std::copy_n(preloaded.begin(), have, in);
    bool ended = preloadedAll;
    std::size_t outSize = 0;
    if (encrypting) {
        std::copy(h.begin(), h.end(), out);
        outSize = h.size();
    }
    std::uint64_t index = 0;
    std::int64_t position = 0;
    for (;;) {
        if (!hooks.proceed()) return StreamEnd::Stopped;
        // A read that comes back short has met the end.
        if (!ended) {
            std::size_t got = 0;
            if ((fault = source.Read(in + have, room - have, got)) != Fault::None)
                return StreamEnd::Failed;
            ended = got < room - have;
            have += got;
        }
        std::size_t at = 0;
        // A chunk is the final one once no more than one chunk's worth remains.
        while (have - at > chunkIn || (ended && at <= have)) {
            const bool final = have - at <= chunkIn;
            const std::size_t n = final ? have - at : chunkIn;
            const auto nonce = ChunkNonce(index, final);
            const crypto::Bytes piece{in + at, n};
            if (encrypting) {
                if (!aes.Seal(nonce, aad, piece, out + outSize)) {
                    fault = Fault::Io;
                    return StreamEnd::Failed;
                }
                outSize += n + crypto::kGcmTagSize;
            } else {
                // Too short for a tag, or an empty chunk after others: the file was cut.
                if (n < crypto::kGcmTagSize || (final && n == crypto::kGcmTagSize && index > 0) ||
                    !aes.Open(nonce, aad, piece, out + outSize)) {
                    damaged = true;
                    fault = Fault::Io;
                    return StreamEnd::Failed;
                }
                outSize += n - crypto::kGcmTagSize;
            }
            at += n;
            ++index;
            if (final) break;
        }
        if (outSize > 0 && (fault = sink(out, outSize)) != Fault::None) return StreamEnd::Failed;
        position += static_cast<std::int64_t>(encrypting ? at : outSize);
        if (hooks.progress && outSize > 0) hooks.progress(position);
        outSize = 0;
        if (ended) return StreamEnd::Done;
        std::memmove(in, in + at, have - at);
        have -= at;
    }
}

}  // namespace kolvik::strong
