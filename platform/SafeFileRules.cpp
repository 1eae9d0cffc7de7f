// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer's rules that hold alike on every system, written once for both.
#include "platform/SafeFileRules.h"

#include <algorithm>
#include <utility>

namespace kolvik::safefile {

// A source moves alike on every system; only how it closes differs.
Source::~Source() { Close(); }

Source::Source(Source&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      leased_(std::exchange(other.leased_, false)),
      fixed_(other.fixed_),
      position_(other.position_),
      size_(other.size_) {}

Source& Source::operator=(Source&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        leased_ = std::exchange(other.leased_, false);
        fixed_ = other.fixed_;
        position_ = other.position_;
        size_ = other.size_;
    }
    return *this;
}

bool SameFile(const FileFacts& a, const FileFacts& b) {
    return a.inode == b.inode && a.device == b.device;
}

bool OpenedAsDescribed(const FileFacts& now, const FileFacts& described) {
    return now.regular && (described.inode == 0 || SameFile(now, described));
}

bool UnchangedSince(const FileFacts& now, const FileFacts& read) {
    return SameFile(now, read) && now.size == read.size && now.modified == read.modified &&
           now.changed == read.changed;
}

// Renamed away, replaced or written to by another program, the copy no longer stands for the
// original. An earlier run's copy is held to its times as well: a new file may have been given
// its number meanwhile.
Fault CopyStillThere(const PendingOriginal& p) {
    FileFacts now;
    const std::uint64_t inode = p.copyFile ? p.copyFile->Inode() : p.copyInode;
    if (const Fault f = p.folder->Stat(p.copy, now); f != Fault::None) {
        return f == Fault::NotFound ? Fault::Changed : f;
    }
    if (inode == 0 || now.inode != inode || (p.copySize >= 0 && now.size != p.copySize) ||
        (p.earlierCopy && (now.modified != p.earlierModified || now.changed != p.earlierChanged))) {
        return Fault::Changed;
    }
    return Fault::None;
}

bool CopyGoesAgain(const PendingOriginal& p, Fault removal) {
    return removal != Fault::None && removal != Fault::NotFound && !p.earlierCopy;
}

void InShares(Crew& crew, std::size_t count, std::size_t perShare,
              const std::function<void(std::size_t first, std::size_t last)>& share) {
    constexpr std::size_t kMaxShares = 8;
    const std::size_t shares = std::clamp<std::size_t>(count / perShare, 1, kMaxShares);
    crew.Run(shares, [&](std::size_t k) { share(k * count / shares, (k + 1) * count / shares); });
}

Listing::Listing(std::vector<std::string>& files, std::vector<std::string>& folders,
                 std::vector<std::string>* scratch, std::vector<bool>* regular)
    : files_(files), folders_(folders), scratch_(scratch), regular_(regular) {
    files_.clear();
    folders_.clear();
    if (scratch_ != nullptr) scratch_->clear();
    if (regular_ != nullptr) regular_->clear();
}

void Listing::Finish() {
    std::sort(found_.begin(), found_.end());
    std::sort(folders_.begin(), folders_.end());
    files_.reserve(found_.size());
    for (auto& [name, isRegular] : found_) {
        files_.push_back(std::move(name));
        if (regular_ != nullptr) regular_->push_back(isRegular);
    }
    found_.clear();
}

}  // namespace kolvik::safefile
