// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows originals whose copies are named: deleted through their handles while unchanged,
// overwritten where asked, and their files closed. Every call goes through the FileCalls table.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/windows/SafeFileParts.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {

using windows::Sys;

namespace {

// Whether the leased original may go: held open since it was read, refusing writers, renames
// and deletions, it is still the file read, under its name, and nobody asked for it meanwhile.
// Its oplock is given up then: our own deletion would break it and wait for that break to be
// answered.
[[nodiscard]] Fault MayGo(const Source& leased, const FileFacts& facts) {
    if (const Fault f = StillAsRead(leased.Handle(), facts); f != Fault::None) return f;
    // A program that asked for the file meanwhile is waiting for it: it gets it, whole.
    if (!leased.LeaseHeld()) return Fault::InUse;
    Release(Unwatched(leased.Handle()));
    return Fault::None;
}

}  // namespace

Fault RemoveUnchanged(const Folder& folder, const std::string& name, const FileFacts& facts,
                      const Source& leased) {
    if (!leased.IsOpen()) return RemoveIfSame(folder.Handle(), name, facts.inode, &facts);
    if (const Fault f = MayGo(leased, facts); f != Fault::None) return f;
    return DeleteByHandle(leased.Handle());
}

// The files of a finished entry: a published copy that has to go again is deleted through its
// own handle, which no other program can have opened since (it was opened without sharing).
class HandleCloser {
  public:
    static NativeHandle Of(const Copy& copy) { return copy.handle_; }
    static bool RemovePublished(Copy& copy) {
        if (copy.handle_ == kNoHandle || !copy.tempName_.empty()) return false;
        const Fault f = DeleteByHandle(copy.handle_);
        CloseHandle(copy.handle_);
        return f == Fault::None;
    }
    // A deletion takes effect when the last handle closes.
    static void Close(Source& source) { source.Close(); }
    static void Close(Copy& copy) {
        // A copy still unnamed is for Discard, which removes its scratch file too.
        if (copy.tempName_.empty()) CloseHandle(copy.handle_);
    }
};

namespace {

// The copy of a read-only original takes the attribute once the original is gone. Should that
// fail, the copy is complete and merely writable: nothing to undo.
void MarkReadOnly(PendingOriginal& p) {
    HANDLE own = p.copyFile ? HandleCloser::Of(*p.copyFile) : kNoHandle;
    HANDLE h = own != kNoHandle
                   ? own
                   : OpenEntry(p.folder->Handle(), p.copy, FILE_READ_ATTRIBUTES, kShareAll);
    if (h == nullptr) return;
    FileFacts now;
    if (own != kNoHandle || (FactsOf(h, now) == Fault::None && now.inode == p.copyInode)) {
        FILE_BASIC_INFO basic{};
        if (Sys().infoEx(h, FileBasicInfo, &basic, sizeof basic)) {
            (void)SetAttributes(h, basic.FileAttributes | FILE_ATTRIBUTE_READONLY);
        }
    }
    if (own == kNoHandle) Sys().close(h);
}

// Deletes an original that no other program holds open, no writer least of all: opened so as to
// refuse writers, it must still be the file read.
[[nodiscard]] Fault RemoveRefusingWriters(const Folder& folder, const std::string& name,
                                          const FileFacts& facts) {
    HANDLE h = OpenEntry(folder.Handle(), name, GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE);
    if (h == nullptr) return LastFault();
    Fault f = StillAsRead(h, facts);
    if (f == Fault::None) f = DeleteByHandle(h);
    Sys().close(h);
    return f;
}

// Renames the original open as w to a scratch name, where it is deleted once w closes, and
// overwrites it meanwhile; wiped tells why it was not overwritten.
[[nodiscard]] Fault GoOverwritten(HANDLE w, HANDLE dir, const std::string& name, std::int64_t size,
                                  Fault& wiped) {
    if (!Sys().rename(w, dir, windows::Wide(NextScratchName()).c_str())) {
        // Never overwritten under its own name: it goes as ever.
        wiped = LastFault();
        return DeleteByHandle(w);
    }
    if (const Fault f = DeleteByHandle(w); f != Fault::None) {
        // Nothing is overwritten yet: it stays, under its own name again. Should that fail, the
        // copy is what stands for it.
        if (Sys().rename(w, dir, windows::Wide(name).c_str())) return f;
        wiped = f;
        return Fault::None;
    }
    // Until it is closed, a crash leaves a scratch file, never a half-overwritten original.
    wiped = Sys().flush(w) ? ZeroHandle(w, size) : LastFault();
    return Fault::None;
}

// The original of p goes as RemoveUnchanged lets it go, its bytes overwritten first where a
// handle that shares nothing proves that no other program has it open (wiped tells why not).
// Windows deletes a file only once its last handle closes, so its name goes first to a scratch
// name: a crash in the middle leaves no half-overwritten file under the original's name, only a
// scratch file that the next run overwrites and removes.
[[nodiscard]] Fault RemoveOverwriting(PendingOriginal& p, Fault& wiped) {
    wiped = Fault::Io;
    Source& leased = p.leased;
    if (!leased.IsOpen()) return RemoveUnchanged(*p.folder, p.original, p.originalFacts, leased);
    if (const Fault f = MayGo(leased, p.originalFacts); f != Fault::None) return f;
    FileFacts facts = p.originalFacts;
    // Writing is refused to a read-only file: the attribute goes while writers are kept out.
    const DWORD readOnly = facts.mode & FILE_ATTRIBUTE_READONLY;
    if (readOnly != 0 && (!SetAttributes(leased.Handle(), facts.mode & ~readOnly) ||
                          FactsOf(leased.Handle(), facts) != Fault::None)) {
        return DeleteByHandle(leased.Handle());
    }
    HandleCloser::Close(leased);
    constexpr DWORD kWriter = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    HANDLE w = OpenEntry(p.folder->Handle(), p.original, kWriter, 0, FILE_NON_DIRECTORY_FILE);
    if (w == nullptr) {
        // Open elsewhere, for reading: it goes as ever, whole, unless a writer took it meanwhile.
        wiped = LastFault();
        const Fault f = RemoveRefusingWriters(*p.folder, p.original, facts);
        HANDLE back = OpenEntry(p.folder->Handle(), p.original, FILE_WRITE_ATTRIBUTES, kShareAll);
        if (back != nullptr) {
            if (readOnly != 0) (void)SetAttributes(back, p.originalFacts.mode);
            Sys().close(back);
        }
        return f;
    }
    Fault f = StillAsRead(w, facts);
    if (f == Fault::None) f = GoOverwritten(w, p.folder->Handle(), p.original, facts.size, wiped);
    if (f != Fault::None && readOnly != 0) (void)SetAttributes(w, p.originalFacts.mode);
    Sys().close(w);
    return f;
}

// The deletions of one crew member: its share of the group, each original deleted only while
// unchanged and the copy of any that stays taken away again, then their files closed.
void CompleteShare(std::vector<PendingOriginal>& pending, std::size_t first, std::size_t last,
                   std::vector<Fault>& result, std::vector<Fault>& wiped) {
    for (std::size_t i = first; i < last; ++i) {
        auto& p = pending[i];
        // Every copy was flushed before it was named (Copy::Publish).
        result[i] = CopyStillThere(p);
        if (result[i] == Fault::None) {
            result[i] = p.overwrite
                            ? RemoveOverwriting(p, wiped[i])
                            : RemoveUnchanged(*p.folder, p.original, p.originalFacts, p.leased);
        }
        HandleCloser::Close(p.leased);
        if (result[i] == Fault::None && (p.originalFacts.mode & FILE_ATTRIBUTE_READONLY) != 0) {
            MarkReadOnly(p);
        } else if (CopyGoesAgain(p, result[i])) {
            const std::uint64_t copyInode = p.copyFile ? p.copyFile->Inode() : p.copyInode;
            if (!p.copyFile || !HandleCloser::RemovePublished(*p.copyFile)) {
                (void)p.folder->Remove(p.copy, copyInode);
            }
        }
        if (p.copyFile) HandleCloser::Close(*p.copyFile);
    }
}

}  // namespace

Completion CompletePending(std::vector<PendingOriginal>& pending, Crew& crew) {
    Completion done;
    if (pending.empty()) return done;
    std::vector<Fault> removals(pending.size(), Fault::Io), wiped(pending.size(), Fault::None);
    InShares(crew, pending.size(), kDeletionsPerShare, [&](std::size_t first, std::size_t last) {
        CompleteShare(pending, first, last, removals, wiped);
    });
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (removals[i] == Fault::None && wiped[i] != Fault::None)
            done.unwiped.push_back({pending[i].folder, pending[i].original, wiped[i]});
        if (removals[i] != Fault::None) done.failed.push_back({std::move(pending[i]), removals[i]});
    }
    pending.clear();
    return done;
}

}  // namespace kolvik::safefile
