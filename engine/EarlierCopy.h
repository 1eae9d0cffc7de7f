// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A run killed between naming its copies and deleting their originals leaves both behind. The
// next run recognises such a copy by its bytes, so that it can finish the work instead of
// keeping the original beside it for ever.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SafeFile.h"

namespace kolvik {

class EarlierCopy {
  public:
    EarlierCopy() = default;
    EarlierCopy(const EarlierCopy&) = delete;
    EarlierCopy& operator=(const EarlierCopy&) = delete;
    ~EarlierCopy();
    // Opens name when it is a regular file with a single name and exactly size bytes (any size
    // when size is negative: a reader that finds it in the header checks it); it is only ever
    // read.
    [[nodiscard]] safefile::Fault Open(const safefile::Folder& folder, const std::string& name,
                                       std::int64_t size);
    std::int64_t Size() const { return size_; }
    // Compares the file's next bytes with data; Fault::Exists at the first difference.
    [[nodiscard]] safefile::Fault Match(const void* data, std::size_t size);
    // After the last block: nothing may follow, and the file is then made durable.
    [[nodiscard]] safefile::Fault Finish();
    std::uint64_t Inode() const { return inode_; }
    // As Finish saw it: the file must still show it when the other file goes.
    WallClock::time_point Modified() const { return modified_; }
    WallClock::time_point Changed() const { return changed_; }
    // The open copy, for a reader that compares it by its content rather than byte for byte.
    safefile::Source& File() { return file_; }
    // Such a reader read the whole file and found every byte of it right.
    void MatchedWhole() { matched_ = size_; }

  private:
    const safefile::Folder* folder_ = nullptr;
    std::string name_;
    std::int64_t size_ = 0, matched_ = 0;
    WallClock::time_point modified_{}, changed_{};
    safefile::Source file_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t inode_ = 0;
};

}  // namespace kolvik
