// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DeletionGroups.h"

#include <string>
#include <string_view>
#include <utility>

#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

void DeletionGroups::Add(safefile::PendingOriginal entry) {
    ++stats_.FilesDone;
    stats_.BytesDone += entry.countedBytes;
    events_.CountsChanged();
    if (pending_.empty() || pending_.back().folder != entry.folder) ++folders_;
    if (entry.overwrite) TellIfOldBlocksKept(*entry.folder);
    bytes_ += entry.countedBytes;
    pending_.push_back(std::move(entry));
}

std::size_t DeletionGroups::Complete() {
    if (pending_.empty()) return 0;
    const auto done = safefile::CompletePending(pending_, crew_);
    bytes_ = 0;
    folders_ = 0;
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
