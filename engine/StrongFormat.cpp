// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/StrongFormat.h"

#include <algorithm>
#include <cstring>

#include "engine/Wipe.h"

namespace kolvik::strong {
namespace {

// Chunks per block: a read and a write of about a megabyte between yields.
constexpr std::size_t kChunksPerBlock = 16;
constexpr std::size_t kInputRoom = kChunksPerBlock * kSealedChunk;
// The header goes out with the first block.
constexpr std::size_t kOutputRoom = kLongestHeader + kChunksPerBlock * kSealedChunk;

const std::uint8_t* Raw(std::string_view s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Wipes the stretches of a buffer that were used, however the stream ends.
struct WipeUsed {
    std::uint8_t* in;
    std::uint8_t* out;
    std::size_t inUsed = 0, outUsed = 0;
    WipeUsed(std::uint8_t* i, std::uint8_t* o) : in(i), out(o) {}
    WipeUsed(const WipeUsed&) = delete;
    WipeUsed& operator=(const WipeUsed&) = delete;
    ~WipeUsed() {
        crypto::Wipe(in, inUsed);
        crypto::Wipe(out, outUsed);
    }
};

}  // namespace

bool HkdfExtract(crypto::Hmac& hmac, crypto::Bytes ikm, crypto::Bytes salt, Secret& prk) {
    // An absent salt is a string of HashLen zeros.
    const std::array<std::uint8_t, crypto::kSha256Size> zeros{};
    const std::array<crypto::Bytes, 1> message{ikm};
    return hmac.Sign(salt.empty() ? crypto::Bytes(zeros) : salt, message, prk.bytes);
}

bool HkdfExpand(crypto::Hmac& hmac, const Secret& prk, std::string_view info,
                std::span<std::uint8_t> out) {
    constexpr std::size_t kHash = crypto::kSha256Size;
    if (out.size() > 255 * kHash) return false;
    // T(i) = HMAC(PRK, T(i-1) | info | i)
    Secret t;
    std::size_t tSize = 0;
    for (std::size_t done = 0, i = 1; done < out.size(); ++i) {
        const auto counter = static_cast<std::uint8_t>(i);
        const std::array<crypto::Bytes, 3> message{crypto::Bytes(t.bytes.data(), tSize),
                                                   crypto::Bytes(Raw(info), info.size()),
                                                   crypto::Bytes(&counter, 1)};
        if (!hmac.Sign(prk.bytes, message, t.bytes)) return false;
        tSize = kHash;
        const std::size_t n = std::min(kHash, out.size() - done);
        std::copy_n(t.bytes.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(done));
        done += n;
    }
    return true;
}

bool HkdfSha256(crypto::Bytes ikm, crypto::Bytes salt, std::string_view info,
                std::span<std::uint8_t> out) {
    crypto::Hmac hmac;
    Secret prk;
    return out.size() <= 255 * crypto::kSha256Size && HkdfExtract(hmac, ikm, salt, prk) &&
           HkdfExpand(hmac, prk, info, out);
}

bool MasterKey(std::string_view password, const Salt& salt, const Kdf& kdf, Secret& m) {
    if (const auto* argon2 = std::get_if<Argon2Cost>(&kdf)) {
        return crypto::Argon2id(password, salt, argon2->passes, argon2->memoryKiB, argon2->lanes,
                                m.bytes);
    }
    return crypto::Pbkdf2Sha256(password, salt, std::get<Pbkdf2Cost>(kdf).iterations, m.bytes);
}

std::array<std::uint8_t, crypto::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool final) {
    std::array<std::uint8_t, crypto::kGcmNonceSize> n{};
    // Eleven bytes big-endian; the top three of them stay zero for any 64-bit index.
    for (int i = 10, shift = 0; shift < 64; --i, shift += 8)
        n[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(index >> shift);
    n[11] = final ? 1 : 0;
    return n;
}

KeyCache::Entry::~Entry() { WipeText(password); }

const Secret* KeyCache::Get(const std::string& password, const Salt& salt, const Kdf& kdf) {
    for (const auto& e : entries_)
        if (e->salt == salt && e->kdf == kdf && e->password == password) return &e->m;
    // A tree from many runs is rare; a hostile one must not make the cache grow without end.
    if (entries_.size() >= 64) Forget();
    auto entry = std::make_unique<Entry>();
    if (!MasterKey(password, salt, kdf, entry->m)) return nullptr;
    entry->password = password;
    entry->salt = salt;
    entry->kdf = kdf;
    entries_.push_back(std::move(entry));
    return &entries_.back()->m;
}

KeyCache::~KeyCache() { Forget(); }

void KeyCache::Forget() {
    entries_.clear();
    entries_.shrink_to_fit();
}

StreamEnd StreamChunks(safefile::Source& source, const BlockSink& sink, crypto::AesGcm& aes,
                       const Secret& kd, std::string_view h, bool encrypting,
                       std::vector<std::uint8_t>& buffer, const StreamHooks& hooks,
                       safefile::Fault& fault, bool& damaged, std::string_view preloaded,
                       bool preloadedAll) {
    using safefile::Fault;
    damaged = false;
    if (!aes.Rekey(kd.bytes)) {
        fault = Fault::Io;
        return StreamEnd::Failed;
    }
    if (buffer.size() < kInputRoom + kOutputRoom) buffer.resize(kInputRoom + kOutputRoom);
    std::uint8_t* const in = buffer.data();
    std::uint8_t* const out = in + kInputRoom;
    WipeUsed used(in, out);
    // Encrypting reads whole blocks of plain chunks; decrypting, of sealed ones.
    const std::size_t chunkIn = encrypting ? kChunk : kSealedChunk;
    const std::size_t room = kChunksPerBlock * chunkIn;
    const crypto::Bytes aad{Raw(h), h.size()};
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
            fault = source.Read(in + have, room - have, got);
            used.inUsed = std::max(used.inUsed, have + got);
            if (fault != Fault::None) return StreamEnd::Failed;
            ended = got < room - have;
            have += got;
        }
        used.inUsed = std::max(used.inUsed, have);
        std::size_t at = 0;
        // A chunk is the final one once no more than one chunk's worth remains.
        while (have - at > chunkIn || (ended && at <= have)) {
            const bool final = have - at <= chunkIn;
            const std::size_t n = final ? have - at : chunkIn;
            const auto nonce = ChunkNonce(index, final);
            const crypto::Bytes piece{in + at, n};
            if (encrypting) {
                used.outUsed = std::max(used.outUsed, outSize + n + crypto::kGcmTagSize);
                if (!aes.Seal(nonce, aad, piece, out + outSize)) {
                    fault = Fault::Io;
                    return StreamEnd::Failed;
                }
                outSize += n + crypto::kGcmTagSize;
            } else {
                // Too short for a tag, or an empty chunk after others: the file was cut.
                if (n < crypto::kGcmTagSize || (final && n == crypto::kGcmTagSize && index > 0)) {
                    damaged = true;
                    fault = Fault::Io;
                    return StreamEnd::Failed;
                }
                used.outUsed = std::max(used.outUsed, outSize + n - crypto::kGcmTagSize);
                if (!aes.Open(nonce, aad, piece, out + outSize)) {
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
