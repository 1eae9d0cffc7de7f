// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The described .kol format (engine/FileFormat, engine/Keystream) as a Format. It has no mark:
// it is what a file is taken for when no other format claims it.
#include <memory>
#include <string>

#include "engine/Format.h"
#include "engine/Keystream.h"

namespace kolvik {

class ClassicFormat final : public WrittenFormat {
  public:
    ClassicFormat() = default;
    ClassicFormat(const ClassicFormat&) = delete;
    ClassicFormat& operator=(const ClassicFormat&) = delete;
    ~ClassicFormat() override { Forget(); }

    bool Recognises(std::string_view) const override { return true; }
    bool Marked() const override { return false; }
    bool Sealed() const override { return false; }
    Opening Open(std::string_view leading, const std::string& key,
                 std::unique_ptr<FormatFile>& file) override;
    bool HoldsExtension(std::string_view extUtf8) const override;
    bool Begin(std::string_view extUtf8, const std::string& key,
               std::unique_ptr<FormatFile>& file) override;
    // The key and what was worked out from it, wiped.
    void Forget();

  private:
    // Worked out once per key rather than once per file: for small files it is much of the work.
    const Keystream& StreamOf(const std::string& key);
    std::string keyOf_;
    KeyTable table_;
    std::unique_ptr<Keystream> keystream_;
};

}  // namespace kolvik
