// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ClassicFormat.h"

#include <algorithm>

#include "engine/Ansi.h"
#include "engine/FileFormat.h"
#include "engine/Wipe.h"

namespace kolvik {
namespace {

class ClassicFile final : public FormatFile {
  public:
    // header: L, the extension's Windows-1252 bytes and the check bytes. The keystream is the
    // format's and outlives the file.
    ClassicFile(std::string header, const Keystream& keystream)
        : header_(std::move(header)), keystream_(keystream) {}

    std::size_t HeaderSize() const override { return header_.size(); }
    std::string Extension() const override { return AnsiToUtf8(header_.substr(1, ExtLength())); }
    Layout Sizes(std::int64_t size, bool encrypting) const override {
        const int ext = ExtLength();
        if (encrypting)
            return {static_cast<std::int64_t>(header_.size()) + size + kTrailingBytes, 0};
        return {std::max<std::int64_t>(0, size - ext - kHeaderFixed - kTrailingBytes),
                ext + kHeaderFixed};
    }
    StreamEnd Stream(const StreamJob& job) override {
        static const std::string kNone;
        return StreamData(job.source, job.sink, keystream_, ExtLength(), job.encrypting, job.buffer,
                          job.hooks, job.fault, job.encrypting ? header_ : kNone,
                          job.preloadedFirst, job.preloadedSize);
    }

  private:
    int ExtLength() const { return static_cast<unsigned char>(header_[0]); }
    std::string header_;
    const Keystream& keystream_;
};

}  // namespace

Opening ClassicFormat::Open(std::string_view leading, const std::string& key,
                            std::unique_ptr<FormatFile>& file) {
    const std::size_t headerSize =
        kHeaderFixed + std::size_t{leading.empty() ? 0U : static_cast<unsigned char>(leading[0])};
    // Too short to hold even its header, no password could open it.
    if (leading.size() < headerSize) return Opening::Damaged;
    const Keystream& keystream = StreamOf(key);
    const std::string_view header = leading.substr(0, headerSize);
    if (!HeaderMatches(table_, header)) return Opening::WrongKey;
    file = std::make_unique<ClassicFile>(std::string(header), keystream);
    return Opening::Opened;
}

bool ClassicFormat::HoldsExtension(std::string_view extUtf8) const {
    return StorableExtension(extUtf8).has_value();
}

bool ClassicFormat::Begin(std::string_view extUtf8, const std::string& key,
                          std::unique_ptr<FormatFile>& file) {
    const auto ansi = StorableExtension(extUtf8);
    if (!ansi) return false;
    const Keystream& keystream = StreamOf(key);
    file = std::make_unique<ClassicFile>(EncryptedHeader(table_, *ansi), keystream);
    return true;
}

void ClassicFormat::Forget() {
    WipeText(keyOf_);
    crypto::Wipe(&table_, sizeof table_);
    if (keystream_) crypto::Wipe(keystream_.get(), sizeof(Keystream));
    keystream_.reset();
}

const Keystream& ClassicFormat::StreamOf(const std::string& key) {
    if (!keystream_ || key != keyOf_) {
        Forget();
        table_ = BuildKeyTable(key);
        keystream_ = std::make_unique<Keystream>(table_);
        keyOf_ = key;
    }
    return *keystream_;
}

}  // namespace kolvik
