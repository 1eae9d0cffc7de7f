// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The originals whose copies are written, waiting in groups for their deletion: one sync makes
// a group's copies durable, and then the crew deletes the originals. A full group is completed
// in the background while the run goes on with the next one; what it left is told on the run's
// own thread, at the next completion.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
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
    // Waits for the group in flight; what it left is no longer told.
    ~DeletionGroups();
    DeletionGroups(const DeletionGroups&) = delete;
    DeletionGroups& operator=(const DeletionGroups&) = delete;

    // Nothing waits, here or in flight.
    bool Empty() const { return pending_.empty() && !flight_.joinable(); }
    // The group holds as many files or bytes as it may.
    bool Due() const { return pending_.size() >= kPendingFiles || bytes_ >= kPendingBytes; }
    // A file of one more folder would keep too many folders open.
    bool FoldersFull() const { return folders_ >= kPendingFolders; }
    // Counts the file as done and lets its original wait for the group's sync.
    void Add(safefile::PendingOriginal entry);
    // Completes the group in the background, once the group before it is completed and told.
    void CompleteLater();
    // Waits for the group in flight and tells what it left, then deletes the waiting originals
    // whose copies are durable; returns how many of those stayed after all, their copies gone,
    // which are then counted as skipped and reported.
    std::size_t Complete();
    // Ends the deletion threads; the next group starts new ones.
    void Stop();

  private:
    // Waits for the group in flight and tells what it left.
    void Land();
    std::size_t Tell(const safefile::Completion& done);
    void TellIfOldBlocksKept(const safefile::Folder& folder);

    // First, so that it ends last: the pending entries below are completed on it.
    DeletionCrew crew_;
    std::vector<safefile::PendingOriginal> pending_;
    std::int64_t bytes_ = 0;
    std::size_t folders_ = 0;
    // The group in flight, touched by flight_ alone until it is joined. Its folders are held
    // here as well, so that they close, and their claims end, on the run's thread.
    std::vector<safefile::PendingOriginal> flying_;
    std::vector<std::shared_ptr<const safefile::Folder>> flyingFolders_;
    safefile::Completion flown_;
    std::exception_ptr flightError_;
    std::thread flight_;
    RunStats& stats_;
    RunReport& report_;
    RunEvents& events_;
    LeftFiles& left_;
};

}  // namespace kolvik
