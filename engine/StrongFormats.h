// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strong format's two versions as Formats: version 1 is only read, version 2 is written.
// They share the key cache, the chunk streaming and its buffer.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Format.h"
#include "engine/StrongHeader.h"
#include "platform/Clock.h"

namespace kolvik {

// What both versions keep between files: M per password, salt and cost, the chunk buffer, the
// cipher, rekeyed for every file, and the HMAC of the file keys and headers. All of it goes
// when the run ends.
struct StrongShared {
    strong::KeyCache keys;
    std::vector<std::uint8_t> chunkBuffer;
    std::unique_ptr<crypto::AesGcm> cipher;
    std::unique_ptr<crypto::Hmac> hmac;
    crypto::AesGcm& Cipher() {
        if (!cipher) cipher = std::make_unique<crypto::AesGcm>();
        return *cipher;
    }
    crypto::Hmac& Mac() {
        if (!hmac) hmac = std::make_unique<crypto::Hmac>();
        return *hmac;
    }
};

// How either version reads: its header parsed, then opened with the key.
using ReadStrongHeader = strong::HeaderRead (*)(std::string_view, strong::Header&);
Opening OpenStrong(ReadStrongHeader read, std::string_view leading, const std::string& key,
                   StrongShared& shared, std::unique_ptr<FormatFile>& file);

// What both versions are alike in: a mark of ten bytes, and the reading.
template <typename Base>
class StrongVersion : public Base {
  public:
    StrongVersion(StrongShared& shared, std::string_view magic, ReadStrongHeader read)
        : shared_(shared), magic_(magic), read_(read) {}
    bool Recognises(std::string_view leading) const override { return leading.starts_with(magic_); }
    bool Marked() const override { return true; }
    bool Sealed() const override { return true; }
    Opening Open(std::string_view leading, const std::string& key,
                 std::unique_ptr<FormatFile>& file) override {
        return OpenStrong(read_, leading, key, shared_, file);
    }

  protected:
    StrongShared& shared_;

  private:
    std::string_view magic_;
    ReadStrongHeader read_;
};

// Version 1 (PBKDF2) is only read.
class StrongFormatV1 final : public StrongVersion<Format> {
  public:
    explicit StrongFormatV1(StrongShared& shared)
        : StrongVersion(shared, strong::kMagicV1, strong::ReadHeaderV1) {}
};

class StrongFormatV2 final : public StrongVersion<WrittenFormat> {
  public:
    explicit StrongFormatV2(StrongShared& shared)
        : StrongVersion(shared, strong::kMagicV2, strong::ReadHeaderV2) {}
    // The header holds any extension of up to 255 bytes.
    bool HoldsExtension(std::string_view extUtf8) const override { return extUtf8.size() <= 255; }
    bool Begin(std::string_view extUtf8, const std::string& key,
               std::unique_ptr<FormatFile>& file) override;

    // A run starts with a mode press: its copies share one salt, so that the run costs one
    // derivation. cost is what they are written with.
    void StartRun(WallClock::time_point modeTime, const strong::Argon2Cost& cost);
    void EndRun() { salt_.reset(); }

  private:
    std::optional<strong::Salt> salt_;
    WallClock::time_point run_{};
    strong::Argon2Cost cost_{};
};

}  // namespace kolvik
