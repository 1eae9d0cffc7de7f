// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DeletionGroups.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

DeletionGroups::~DeletionGroups() {
    if (flight_.joinable()) flight_.join();
}

void DeletionGroups::Add(safefile::PendingOriginal entry) {
    ++stats_.FilesDone;
    stats_.BytesDone += entry.countedBytes;
    events_.CountsChanged();
    if (pending_.empty() || pending_.back().folder != entry.folder) ++folders_;
    if (entry.overwrite) TellIfOldBlocksKept(*entry.folder);
    bytes_ += entry.countedBytes;
    pending_.push_back(std::move(entry));
}

void DeletionGroups::CompleteLater() {
    Land();
    if (pending_.empty()) return;
    flying_ = std::exchange(pending_, {});
    bytes_ = 0;
    folders_ = 0;
    for (const auto& p : flying_) {
        if (std::find(flyingFolders_.begin(), flyingFolders_.end(), p.folder) ==
            flyingFolders_.end())
            flyingFolders_.push_back(p.folder);
    }
    try {
        flight_ = std::thread([this] {
            try {
                flown_ = safefile::CompletePending(flying_, crew_);
            } catch (...) {
                flightError_ = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the group is completed here and now.
        flyingFolders_.clear();
        pending_ = std::exchange(flying_, {});
        (void)Complete();
    }
}

void DeletionGroups::Land() {
    if (!flight_.joinable()) return;
    flight_.join();
    flyingFolders_.clear();
    flying_.clear();
    if (flightError_) std::rethrow_exception(std::exchange(flightError_, nullptr));
    (void)Tell(std::exchange(flown_, {}));
}

std::size_t DeletionGroups::Complete() {
    Land();
    if (pending_.empty()) return 0;
    const auto done = safefile::CompletePending(pending_, crew_);
    bytes_ = 0;
    folders_ = 0;
    return Tell(done);
}

void DeletionGroups::Stop() {
    Land();
    crew_.Stop();
}

std::size_t DeletionGroups::Tell(const safefile::Completion& done) {
    // Those originals stay and their copies are gone: the files count as skipped after all.
    for (const auto& [entry, fault] : done.failed) {
        --stats_.FilesDone;
        stats_.BytesDone -= entry.countedBytes;
        left_.Leave(entry.folder->Path(), entry.original, ReasonOf(fault));
    }
    // Encrypted all the same; the run just may not end as if nothing were amiss.
    for (const auto& u : done.unwiped) {
        ++report_.notOverwritten;
        events_.NotOverwritten(
            JoinPath(u.folder->Path(), u.original),
            u.fault == Fault::InUse ? LeftReason::NotOverwrittenInUse : LeftReason::NotOverwritten);
    }
    return done.failed.size();
}

void DeletionGroups::TellIfOldBlocksKept(const safefile::Folder& folder) {
    if (report_.oldBlocksTold) return;
    const std::string_view kind = folder.KeepsOldBlocks();
    if (kind.empty()) return;
    report_.oldBlocksTold = true;
    events_.FileSystemNoted(FileSystemNote::OldBlocksKept, folder.Path(), std::string(kind));
}

}  // namespace kolvik
