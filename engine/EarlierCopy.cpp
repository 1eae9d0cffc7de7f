// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EarlierCopy.h"

#include <cstring>

#include "engine/Wipe.h"

namespace kolvik {

using safefile::Fault;

// Decrypting, what it compared was plain text.
EarlierCopy::~EarlierCopy() { WipeBytes(buffer_); }

Fault EarlierCopy::Open(const safefile::Folder& folder, const std::string& name,
                        std::int64_t size) {
    safefile::FileFacts facts;
    if (const Fault f = folder.Stat(name, facts); f != Fault::None) return f;
    // A link would make us delete an original for a copy that can change under another name.
    if (!facts.regular || facts.multiplyLinked) return Fault::NotRegular;
    if (size >= 0 && facts.size != size) return Fault::Exists;
    if (const Fault f = file_.Open(folder, name, facts); f != Fault::None) return f;
    folder_ = &folder;
    name_ = name;
    size_ = facts.size;
    matched_ = 0;
    inode_ = facts.inode;
    return Fault::None;
}

Fault EarlierCopy::Match(const void* data, std::size_t size) {
    if (buffer_.size() < size) buffer_.resize(size);
    std::size_t got = 0;
    if (const Fault f = file_.Read(buffer_.data(), size, got); f != Fault::None) return f;
    matched_ += static_cast<std::int64_t>(got);
    return got == size && std::memcmp(buffer_.data(), data, size) == 0 ? Fault::None
                                                                       : Fault::Exists;
}

Fault EarlierCopy::Finish() {
    // A source that ended early matched only the start of this file.
    if (matched_ != size_) return Fault::Exists;
    // Reading stops at the size it had: whether it grew while we read it is asked by name.
    safefile::FileFacts now;
    if (const Fault f = folder_->Stat(name_, now); f != Fault::None) return f;
    if (now.inode != inode_ || now.size != size_) return Fault::Exists;
    modified_ = now.modified;
    changed_ = now.changed;
    // The crash may have come before its data reached the disk.
    return file_.Sync();
}

}  // namespace kolvik
