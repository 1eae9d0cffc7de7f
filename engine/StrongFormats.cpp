// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/StrongFormats.h"

#include <algorithm>

namespace kolvik {
namespace {

using strong::HeaderRead;

class StrongFile final : public FormatFile {
  public:
    StrongFile(std::string h, std::string extension, StrongShared& shared)
        : h_(std::move(h)), extension_(std::move(extension)), shared_(shared) {}

    strong::FileKeys keys;

    std::size_t HeaderSize() const override { return h_.size(); }
    std::string Extension() const override { return extension_; }
    // Every chunk adds a tag; an empty file still has its one chunk.
    Layout Sizes(std::int64_t size, bool encrypting) const override {
        const auto hSize = static_cast<std::int64_t>(h_.size());
        const auto chunk = static_cast<std::int64_t>(strong::kChunk);
        const auto tag = static_cast<std::int64_t>(crypto::kGcmTagSize);
        if (encrypting) {
            const std::int64_t chunks = std::max<std::int64_t>(1, (size + chunk - 1) / chunk);
            return {hSize + size + chunks * tag, 0};
        }
        const std::int64_t data = size - hSize;
        const std::int64_t chunks =
            std::max<std::int64_t>(1, (data + chunk + tag - 1) / (chunk + tag));
        return {std::max<std::int64_t>(0, data - chunks * tag), hSize};
    }
    StreamEnd Stream(const StreamJob& job) override {
        const std::string_view preloaded(
            reinterpret_cast<const char*>(job.buffer.data() + job.preloadedFirst),
            job.preloadedFirst == 0 ? 0 : job.preloadedSize);
        return strong::StreamChunks(job.source, job.sink, shared_.Cipher(), keys.kd, h_,
                                    job.encrypting, shared_.chunkBuffer, job.hooks, job.fault,
                                    job.damaged, preloaded,
                                    job.preloadedFirst != 0 && job.sourceEnded);
    }

  private:
    std::string h_;
    std::string extension_;
    StrongShared& shared_;
};

}  // namespace

// Both versions open alike: damage first (no derivation for a header out of range), then the
// MAC, which only the right password's keys reproduce.
Opening OpenStrong(ReadStrongHeader read, std::string_view leading, const std::string& key,
                   StrongShared& shared, std::unique_ptr<FormatFile>& file) {
    strong::Header header;
    if (read(leading, header) != HeaderRead::Ok) return Opening::Damaged;
    // No strong file is made with an empty password, and Argon2id refuses one.
    if (key.empty()) return Opening::WrongKey;
    const strong::Secret* m = shared.keys.Get(key, header.salt, header.kdf);
    auto opened = std::make_unique<StrongFile>(std::string(leading.substr(0, header.size)),
                                               std::move(header.extension), shared);
    if (!m || !strong::DeriveFileKeys(shared.Mac(), *m, header, opened->keys))
        return Opening::Refused;
    if (!strong::MacMatches(shared.Mac(), opened->keys, leading, header)) return Opening::WrongKey;
    file = std::move(opened);
    return Opening::Opened;
}

void StrongFormatV2::StartRun(WallClock::time_point modeTime, const strong::Argon2Cost& cost) {
    if (modeTime != run_ || cost != cost_) salt_.reset();
    run_ = modeTime;
    cost_ = cost;
}

bool StrongFormatV2::Begin(std::string_view extUtf8, const std::string& key,
                           std::unique_ptr<FormatFile>& file) {
    if (!salt_) {
        strong::Salt salt;
        if (!crypto::RandomBytes(salt)) return false;
        salt_ = salt;
    }
    strong::Header header{.kdf = cost_, .salt = *salt_, .extension = std::string(extUtf8)};
    if (!crypto::RandomBytes(header.nonce)) return false;
    const strong::Secret* m = shared_.keys.Get(key, header.salt, header.kdf);
    strong::FileKeys keys;
    if (!m || !strong::DeriveFileKeys(shared_.Mac(), *m, header, keys)) return false;
    auto h = strong::WriteHeaderV2(shared_.Mac(), keys, header);
    if (!h) return false;
    auto made = std::make_unique<StrongFile>(std::move(*h), std::move(header.extension), shared_);
    made->keys.kh.bytes = keys.kh.bytes;
    made->keys.kd.bytes = keys.kd.bytes;
    file = std::move(made);
    return true;
}

}  // namespace kolvik
