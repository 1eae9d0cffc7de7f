// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX originals whose copies are named: synced, deleted while unchanged, overwritten where
// asked, and their files closed.
// Every call on a file or folder goes through the FileCalls table, where the fault tests reach
// it.
#include <fcntl.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/posix/Faults.h"
#include "platform/posix/Overwrite.h"
#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

// Unlinks name only while it is still the file of that inode and size: a file another program
// put there, or wrote into, is not ours to take.
[[nodiscard]] Fault RemoveIfSame(const Folder& folder, const std::string& name, std::uint64_t inode,
                                 std::int64_t size) {
    FileFacts now;
    if (const Fault f = folder.Stat(name, now); f != Fault::None) return f;
    if (now.inode != inode || (size >= 0 && now.size != size)) return Fault::Changed;
    return Sys().unlinkat(folder.Handle(), name.c_str(), 0) == 0 ? Fault::None : LastFault();
}

// Unlinks the original only while it is still the file that facts describe, unchanged, and,
// given a pending entry, while its copy still stands for it.
[[nodiscard]] Fault RemoveChecked(const Folder& folder, const std::string& name,
                                  const FileFacts& facts, const Source& leased,
                                  const PendingOriginal* pending) {
    FileFacts now;
    if (const Fault f = folder.Stat(name, now); f != Fault::None) return f;
    // Replaced (an editor saving under the same name), appended to, truncated or rewritten:
    // the copy no longer holds what the name holds.
    if (!UnchangedSince(now, facts)) return Fault::Changed;
    if (pending != nullptr) {
        if (const Fault f = CopyStillThere(*pending); f != Fault::None) return f;
    }
    // A broken lease means a writer opened it: what it writes must not go with the file. Asked
    // last, right before the unlink, so that a writer that opened it during the look above and
    // has not written yet is noticed too.
    if (leased.Leased() && !leased.LeaseHeld()) return Fault::Changed;
    return Sys().unlinkat(folder.Handle(), name.c_str(), 0) == 0 ? Fault::None : LastFault();
}

}  // namespace

Fault RemoveUnchanged(const Folder& folder, const std::string& name, const FileFacts& facts,
                      const Source& leased) {
    return RemoveChecked(folder, name, facts, leased, nullptr);
}

// Closes many files in few calls: descriptors opened one after the other for the files of a
// group mostly lie side by side, and a range of them goes in one call.
class HandleCloser {
  public:
    HandleCloser() = default;
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;
    ~HandleCloser() {
        std::sort(handles_.begin(), handles_.end());
        const auto& sys = Sys();
        for (std::size_t i = 0; i < handles_.size();) {
            std::size_t j = i + 1;
            while (j < handles_.size() && handles_[j] == handles_[j - 1] + 1) ++j;
            const auto first = static_cast<unsigned>(handles_[i]);
            const auto last = static_cast<unsigned>(handles_[j - 1]);
            if (j - i == 1 || sys.close_range(first, last, 0) != 0) {
                for (std::size_t k = i; k < j; ++k) sys.close(handles_[k]);
            }
            i = j;
        }
    }
    void Add(Source& source) {
        if (source.handle_ < 0) return;
        if (source.leased_) MarkLeased(source.handle_, false);
        handles_.push_back(std::exchange(source.handle_, -1));
        source.leased_ = false;
    }
    void Add(Copy& copy) {
        // A copy still unnamed is for Discard, which removes its scratch name too.
        if (copy.handle_ >= 0 && copy.tempName_.empty())
            handles_.push_back(std::exchange(copy.handle_, -1));
    }
    // The source's descriptor, for the caller to close, with its lease given up: the next
    // open of the file for writing must not wait for that lease's break.
    static int Take(Source& source) {
        if (source.leased_) {
            MarkLeased(source.handle_, false);
            (void)Sys().fcntl(source.handle_, F_SETLEASE, F_UNLCK);
            source.leased_ = false;
        }
        return std::exchange(source.handle_, -1);
    }

  private:
    std::vector<int> handles_;
};

namespace {

// The deletions of one crew member: its share of the group, each original deleted only while
// unchanged and the copy of any that stays taken away again. Then the files are closed there
// too: the last close of a deleted file is what frees its space, and may take its time.
void CompleteShare(std::vector<PendingOriginal>& pending, std::size_t first, std::size_t last,
                   bool durable, std::vector<Fault>& result) {
    HandleCloser closer;
    for (std::size_t i = first; i < last; ++i) {
        auto& p = pending[i];
        result[i] = durable ? RemoveChecked(*p.folder, p.original, p.originalFacts, p.leased, &p)
                            : Fault::Io;
        if (CopyGoesAgain(p, result[i])) {
            (void)RemoveIfSame(*p.folder, p.copy, p.copyFile ? p.copyFile->Inode() : p.copyInode,
                               p.copySize);
        }
        // An original to overwrite stays open for that.
        if (result[i] != Fault::None || !p.overwrite) closer.Add(p.leased);
        if (p.copyFile) closer.Add(*p.copyFile);
    }
}

// The originals of wipes (indices into pending) are gone: their bytes are overwritten through
// the descriptors they were read by. Their deletions go to disk first, so that a crash cannot
// bring a name back over bytes half overwritten; the zeros go to disk before the last close
// frees their blocks, in one sync per file system for a group. Returns the folders synced.
std::vector<const Folder*> WipeDeleted(std::vector<PendingOriginal>& pending,
                                       const std::vector<std::size_t>& wipes, Crew& crew,
                                       std::vector<UnwipedOriginal>& unwiped) {
    std::vector<const Folder*> folders, synced;
    for (const std::size_t i : wipes) {
        const Folder* f = pending[i].folder.get();
        if (std::find(folders.begin(), folders.end(), f) != folders.end()) continue;
        folders.push_back(f);
        if (f->Sync() == Fault::None) synced.push_back(f);
    }
    const auto inShares = [&](const std::function<void(std::size_t)>& step) {
        InShares(crew, wipes.size(), 4, [&](std::size_t first, std::size_t last) {
            for (std::size_t j = first; j < last; ++j) step(j);
        });
    };
    std::vector<Fault> faults(wipes.size(), Fault::Io);
    std::vector<int> writers(wipes.size(), -1);
    inShares([&](std::size_t j) {
        auto& p = pending[wipes[j]];
        int reader = HandleCloser::Take(p.leased);
        const bool durable =
            std::find(synced.begin(), synced.end(), p.folder.get()) != synced.end();
        // Where an open file's last name is kept hidden until it is closed (FUSE, network file
        // systems), that name is still counted.
        if (reader >= 0 && durable)
            faults[j] = wipe::ZeroNameless(reader, p.folder->MayHoldClaims() ? 1 : 0, writers[j]);
        if (reader >= 0) Sys().close(reader);
    });
    std::vector<std::pair<std::uint64_t, bool>> devices;  // and whether its sync went well
    for (std::size_t j = 0; j < wipes.size(); ++j) {
        const Folder& folder = *pending[wipes[j]].folder;
        if (writers[j] < 0) continue;
        auto device = std::find_if(devices.begin(), devices.end(),
                                   [&](const auto& d) { return d.first == folder.Device(); });
        if (device == devices.end()) {
            const bool one = wipes.size() == 1;
            devices.emplace_back(folder.Device(), one ? Sys().fdatasync(writers[j]) == 0
                                                      : folder.SyncFileSystem() == Fault::None);
            device = devices.end() - 1;
        }
        if (!device->second) faults[j] = Fault::Io;
    }
    inShares([&](std::size_t j) {
        if (writers[j] >= 0) Sys().close(writers[j]);
    });
    for (std::size_t j = 0; j < wipes.size(); ++j) {
        if (faults[j] != Fault::None)
            unwiped.push_back({pending[wipes[j]].folder, pending[wipes[j]].original, faults[j]});
    }
    return synced;
}

}  // namespace

Completion CompletePending(std::vector<PendingOriginal>& pending, Crew& crew) {
    Completion done;
    if (pending.empty()) return done;
    const bool needSync = std::any_of(pending.begin(), pending.end(),
                                      [](const PendingOriginal& p) { return !p.copyDurable; });
    // Each folder once. Held here, not borrowed: once the entries are cleared below, a folder
    // the walk has left has no other owner, and its deletions still need syncing.
    std::vector<std::shared_ptr<const Folder>> folders;
    for (const auto& p : pending) {
        if (std::find(folders.begin(), folders.end(), p.folder) == folders.end()) {
            folders.push_back(p.folder);
        }
    }
    // A file-system sync also commits the new entries of every folder on it; copies synced one
    // by one still need their folders synced for their names.
    bool durable = true;
    std::vector<std::uint64_t> synced;
    for (const auto& f : folders) {
        if (!needSync) {
            durable = f->Sync() == Fault::None && durable;
        } else if (std::find(synced.begin(), synced.end(), f->Device()) == synced.end()) {
            synced.push_back(f->Device());
            durable = f->SyncFileSystem() == Fault::None && durable;
        }
    }
    std::vector<Fault> removals(pending.size(), Fault::Io);
    InShares(crew, pending.size(), kDeletionsPerShare, [&](std::size_t first, std::size_t last) {
        CompleteShare(pending, first, last, durable, removals);
    });
    std::vector<std::size_t> wipes;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (removals[i] == Fault::None && pending[i].overwrite) wipes.push_back(i);
    }
    const auto wipeSynced = wipes.empty() ? std::vector<const Folder*>()
                                          : WipeDeleted(pending, wipes, crew, done.unwiped);
    bool removed = false;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        auto& p = pending[i];
        if (removals[i] == Fault::None) {
            removed = true;
            continue;
        }
        done.failed.push_back({std::move(p), removals[i]});
    }
    pending.clear();
    // Only single-file runs wait for the deletions to be on disk too; elsewhere the next group's
    // sync carries them, and a lost deletion merely brings an original back beside its copy,
    // which the next run finishes.
    if (removed && !needSync) {
        for (const auto& f : folders) {
            if (std::find(wipeSynced.begin(), wipeSynced.end(), f.get()) == wipeSynced.end())
                (void)f->Sync();
        }
    }
    return done;
}

}  // namespace kolvik::safefile
