// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The originals whose copies are written, waiting in groups for their deletion: one sync makes
// a group's copies durable, and then the crew deletes the originals.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/DeletionCrew.h"
#include "engine/LeftFiles.h"
#include "engine/RunEvents.h"
#include "platform/SafeFile.h"

namespace kolvik {

// Pending deletions are completed in groups this large at most.
inline constexpr std::size_t kPendingFiles = 256;
inline constexpr std::int64_t kPendingBytes = std::int64_t{64} << 20;
// A group may span folders; each keeps a handle open until the group's sync.
inline constexpr std::size_t kPendingFolders = 64;
// A copy this large is synced on its own; the group sync is for many small ones.
inline constexpr std::int64_t kSyncAlone = std::int64_t{8} << 20;

class DeletionGroups {
  public:
    DeletionGroups(RunStats& stats, RunReport& report, RunEvents& events, LeftFiles& left)
        : stats_(stats), report_(report), events_(events), left_(left) {}
    DeletionGroups(const DeletionGroups&) = delete;
    DeletionGroups& operator=(const DeletionGroups&) = delete;

    bool Empty() const { return pending_.empty(); }
    // The group holds as many files or bytes as it may.
    bool Due() const { return pending_.size() >= kPendingFiles || bytes_ >= kPendingBytes; }
    // A file of one more folder would keep too many folders open.
    bool FoldersFull() const { return folders_ >= kPendingFolders; }
    // Counts the file as done and lets its original wait for the group's sync.
    void Add(safefile::PendingOriginal entry);
    // Deletes the waiting originals whose copies are durable; returns how many stayed after
    // all, their copies gone, which are then counted as skipped and reported.
    std::size_t Complete();
    // Ends the deletion threads; the next group starts new ones.
    void Stop() { crew_.Stop(); }

  private:
    void TellIfOldBlocksKept(const safefile::Folder& folder);

    // First, so that it ends last: the pending entries below are completed on it.
    DeletionCrew crew_;
    std::vector<safefile::PendingOriginal> pending_;
    std::int64_t bytes_ = 0;
    std::size_t folders_ = 0;
    RunStats& stats_;
    RunReport& report_;
    RunEvents& events_;
    LeftFiles& left_;
};

}  // namespace kolvik
