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

// What both versions keep between files: M per password, salt and cost, the chunk buffer and
// the cipher, rekeyed for every file. All of it goes when the run ends.
struct StrongShared {
    strong::KeyCache keys;
    std::vector<std::uint8_t> chunkBuffer;
    std::unique_ptr<crypto::AesGcm> cipher;
    crypto::AesGcm& Cipher() {
        if (!cipher) cipher = std::make_unique<crypto::AesGcm>();
        return *cipher;
    }
};

class StrongFormatV1 final : public Format {
  public:
    explicit StrongFormatV1(StrongShared& shared) : shared_(shared) {}
    bool Recognises(std::string_view leading) const override {
        return leading.starts_with(strong::kMagicV1);
    }
    bool Marked() const override { return true; }
    bool Sealed() const override { return true; }
    Opening Open(std::string_view leading, const std::string& key,
                 std::unique_ptr<FormatFile>& file) override;

  private:
    StrongShared& shared_;
};

class StrongFormatV2 final : public WrittenFormat {
  public:
    explicit StrongFormatV2(StrongShared& shared) : shared_(shared) {}
    bool Recognises(std::string_view leading) const override {
        return leading.starts_with(strong::kMagicV2);
    }
    bool Marked() const override { return true; }
    bool Sealed() const override { return true; }
    Opening Open(std::string_view leading, const std::string& key,
                 std::unique_ptr<FormatFile>& file) override;
    // The header holds any extension of up to 255 bytes.
    bool HoldsExtension(std::string_view extUtf8) const override { return extUtf8.size() <= 255; }
    bool Begin(std::string_view extUtf8, const std::string& key,
               std::unique_ptr<FormatFile>& file) override;

    // A run starts with a mode press: its copies share one salt, so that the run costs one
    // derivation. cost is what they are written with.
    void StartRun(WallClock::time_point modeTime, const strong::Argon2Cost& cost);
    void EndRun() { salt_.reset(); }

  private:
    StrongShared& shared_;
    std::optional<strong::Salt> salt_;
    WallClock::time_point run_{};
    strong::Argon2Cost cost_{};
};

}  // namespace kolvik
