// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files as the per-file operations see them: a source read once, its transformed copy written
// beside it and published under a new name without ever replacing a file, and the original
// deleted only once that copy is on disk. Nothing here knows of the window.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace kolvik::safefile {

// What the system hands out for an open file or folder.
#ifdef _WIN32
using NativeHandle = void*;  // a HANDLE; never null while open
inline constexpr NativeHandle kNoHandle = nullptr;
#else
using NativeHandle = int;  // a file descriptor
inline constexpr NativeHandle kNoHandle = -1;
#endif

enum class Fault {
    None,
    NotFound,
    Access,
    DiskFull,
    NotRegular,
    Exists,
    NameTooLong,
    Io,
    IsLink,       // a folder became a symbolic link: never entered
    InUse,        // another program holds the file open for writing
    Changed,      // the file changed after it was read: it must not be deleted
    Held,         // another Kolvik run works in the folder
    Unguarded,    // no lease: a writer could not be noticed
    BadName,      // the file system cannot hold the name
    Undeletable,  // append-only or immutable: the original could not go after its copy
    Unkeepable,   // the copy cannot be given what the original carries (ACL, xattr, flags)
    OtherMount,   // a folder that is another mount (another disk, or a bind mount): not entered
};

// Kolvik's own scratch copies start with this; a run removes those that a killed run left.
inline constexpr std::string_view kScratchPrefix = ".kolvik-tijdel-";
// Where a folder cannot be locked as a whole, a run holds it by this file, which names its
// process.
inline constexpr std::string_view kRunLockName = ".kolvik-slot";

// Extended attributes, ACLs and inode flags, where the system has them (platform/posix).
struct KeptExtras;

struct FileFacts {
    std::int64_t size = 0;
    WallClock::time_point modified{};
    WallClock::time_point changed{};  // status change: links, permissions, content
    WallClock::time_point accessed{};
    WallClock::time_point created{};  // where the system keeps it (Windows); else zero
    bool regular = false;
    bool directory = false;
    bool multiplyLinked = false;  // other names would keep the old content
    std::uint64_t device = 0, inode = 0;
    unsigned mode = 0;  // permission bits
    unsigned owner = 0, group = 0;
    // The times as the system keeps them: time_point ends in 1677 and 2262, a file's time need
    // not, and a copy is stamped with the very value. nanoseconds -1: not known.
    struct ExactTime {
        std::int64_t seconds = 0, nanoseconds = -1;
    };
    ExactTime modifiedExact, accessedExact;
    // What else an opened file carries for its copy; null when nothing.
    std::shared_ptr<const KeptExtras> extras;
};

// An open folder; every file operation is made relative to it, so a renamed or replaced path
// cannot redirect work outside the target.
class Folder {
  public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The target, by its path; every folder below it is opened with OpenChild.
    [[nodiscard]] Fault Open(const std::string& path);
    // A folder relative to its open parent, never following a link, so that a folder swapped
    // for a link cannot lead the run outside its tree and no path length limits the depth.
    // Fault::IsLink when name is now a symbolic link; Fault::OtherMount when name is the top
    // of another mount, whose files are not the tree's to change.
    [[nodiscard]] Fault OpenChild(const Folder& parent, const std::string& name);
    void Close();
    bool IsOpen() const { return handle_ != kNoHandle; }
    const std::string& Path() const { return path_; }
    NativeHandle Handle() const { return handle_; }
    std::uint64_t Device() const { return device_; }

    // Facts of a directory entry; a symbolic link is described, never followed.
    [[nodiscard]] Fault Stat(const std::string& name, FileFacts& facts) const;
    bool Exists(const std::string& name) const;
    std::size_t MaxNameBytes() const;
    // False on the file systems whose renames and links always let a copy be named without
    // claiming the name first (ext4, XFS, Btrfs, tmpfs and the like).
    bool MayHoldClaims() const;
    // The name of the folder's file system where writing over a file's bytes leaves the old
    // blocks as they were (copy-on-write, log-structured: "btrfs", "zfs"); empty elsewhere.
    std::string_view KeepsOldBlocks() const;
    // The name of the folder's file system where another machine or another mount may change
    // files unseen ("nfs", "FUSE"); empty elsewhere. No run's guard holds there: LockForRun
    // refuses the folder with Fault::Unguarded.
    std::string_view SharedWith() const;
    // Claims the folder for this run against every other Kolvik process, waiting up to patience
    // for one that holds it (Fault::Held after that). Held until the last Folder of this
    // process on the same directory closes, so pending deletions keep it too.
    // Fault::Undeletable for a folder whose entries cannot be removed: a copy made there would
    // stay beside its original.
    [[nodiscard]] Fault LockForRun(std::chrono::milliseconds patience);
    // Whether the file of that inode (file index) is the lock file LockForRun made here; where
    // a flock holds the folder there is none, and a file of that name is someone else's.
    bool IsRunLockFile(std::uint64_t inode) const;
    // Makes the folder's entries durable.
    [[nodiscard]] Fault Sync() const;
    // Makes everything written on this file system durable (one sync for many files).
    [[nodiscard]] Fault SyncFileSystem() const;
    // Unlinks name only while it is still the file described by inode.
    [[nodiscard]] Fault Remove(const std::string& name, std::uint64_t inode) const;
    // The entries, by name in byte order: folders are real directories, files everything else
    // (links are never followed). Kolvik's scratch copies go to scratch, not to files. regular
    // tells, for each of files, whether the listing itself showed a regular file.
    [[nodiscard]] Fault List(std::vector<std::string>& files, std::vector<std::string>& folders,
                             std::vector<std::string>* scratch = nullptr,
                             std::vector<bool>* regular = nullptr) const;
    // Removes a scratch copy, or an empty claim of a new name, that a killed run left; it must
    // carry Kolvik's mark. One of a live run, and any file without the mark, is left alone.
    void RemoveLeftoverScratch(const std::string& name) const;

  private:
    friend class Copy;
    // Learns the device of the folder just opened, under the path it will be shown by.
    [[nodiscard]] Fault Opened(std::string path);

    NativeHandle handle_ = kNoHandle;
    std::string path_;
    std::uint64_t device_ = 0;
    std::uint64_t mount_ = 0;             // 0 where the system does not tell
    unsigned newGroup_ = 0;               // the group a file created here gets
    mutable std::size_t nameMax_ = 0;     // asked once per folder, not once per file
    mutable int claims_ = -1;             // MayHoldClaims, once asked
    mutable int givesAcl_ = -1;           // POSIX: whether new files take on a default ACL
    mutable std::string_view oldBlocks_;  // KeepsOldBlocks, once asked
    mutable bool oldBlocksAsked_ = false;
    std::shared_ptr<void> runLock_;  // shared by this process's Folders on the same directory
    // Of the leftover scratch copies removed here, what stands for the names they were to get:
    // an empty file at such a name is the claim of a run killed while it claimed it.
    mutable std::vector<std::string> leftoverClaims_;
};

class Source {
  public:
    Source() = default;
    ~Source();
    Source(Source&& other) noexcept;
    Source& operator=(Source&& other) noexcept;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Opens a regular file without following a link and without blocking on a FIFO;
    // fails when the entry is no longer the file that facts describe, and refreshes facts
    // from the open file. Facts with inode 0 describe no file yet: whatever regular file the
    // name holds is opened (Fault::NotRegular for anything else) and described. With lease, a
    // read lease is taken as by TakeLease.
    [[nodiscard]] Fault Open(const Folder& folder, const std::string& name, FileFacts& facts,
                             bool lease = false);
    // Takes a read lease, so that any later writer is noticed; Fault::InUse when a writer
    // already has the file open, Fault::Unguarded when no lease is granted, and
    // Fault::Undeletable for a file that could not be deleted once its copy is made.
    [[nodiscard]] Fault TakeLease();
    // Fills buf up to size; got is smaller only at the end of the file, or where the file ends
    // by the size it had when it was opened (a file that grew meanwhile has changed).
    [[nodiscard]] Fault Read(void* buf, std::size_t size, std::size_t& got);
    // Reads on from offset again.
    [[nodiscard]] Fault Seek(std::int64_t offset);
    // Makes the file's content durable.
    [[nodiscard]] Fault Sync();
    bool IsOpen() const { return handle_ != kNoHandle; }
    NativeHandle Handle() const { return handle_; }
    // False once another program opened the file for writing or truncated it (or when no
    // lease was granted).
    bool LeaseHeld() const;
    bool Leased() const { return leased_; }
    void Close();

  private:
    friend class HandleCloser;
    NativeHandle handle_ = kNoHandle;
    bool leased_ = false;
    bool fixed_ = false;  // immutable or append-only when opened (Windows: never set)
    std::int64_t position_ = 0, size_ = -1;  // size_: as opened; -1 for unknown
};

// The transformed copy: an unnamed temporary file until it is published.
class Copy {
  public:
    Copy() = default;
    ~Copy() { Discard(); }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // newName is never used as the scratch name, so publishing cannot collide with it. mode:
    // the permission bits the copy is to get; where it can be, it is made with them at once.
    [[nodiscard]] Fault Create(const Folder& folder, const std::string& newName,
                               std::uint32_t mode);
    [[nodiscard]] Fault Write(const void* data, std::size_t size);
    // Gives the copy the owner, permission bits and modification time of like, makes it durable
    // first when asked, then names it; an existing file of that name is never replaced
    // (Fault::Exists). A published copy may stay open until it is discarded or destroyed.
    [[nodiscard]] Fault Publish(const std::string& newName, const FileFacts& like, bool durable);
    std::uint64_t Inode() const;
    // Removes the temporary file; a published copy stays.
    void Discard();
    // What was written is overwritten and made durable before a discarded copy is let go: it
    // may hold plain text of a file that did not open.
    void WipeWhenDiscarded() { wipe_ = true; }

  private:
    friend class HandleCloser;
    void StartWriteback();
    void Wipe();
    [[nodiscard]] Fault LinkUnnamed(const std::string& newName);
    [[nodiscard]] Fault RenameScratch(const std::string& newName);

    const Folder* folder_ = nullptr;
    NativeHandle handle_ = kNoHandle;
    std::string tempName_;             // empty for an unnamed temporary file
    std::uint32_t madeWith_ = 0;       // the bits an unnamed copy was asked to have
    mutable std::uint64_t inode_ = 0;  // 0 until asked, while it is open
    // A large copy goes to disk chunk by chunk while it is written: [waited, started) is under
    // way, [started, written) still only in memory.
    std::int64_t written_ = 0, started_ = 0, waited_ = 0;
    bool wipe_ = false;
};

// An original whose copy is named but not yet known to be on disk. Its folder stays open with
// it, so that one sync can serve the originals of many folders; so does the original itself
// while it is leased, so that the lease can tell whether anyone wrote to it since.
struct PendingOriginal {
    std::shared_ptr<const Folder> folder;
    std::string original, copy;
    FileFacts originalFacts;  // as the copy was made from it
    Source leased;
    // The published copy, still open, so that its identity can be asked if it has to go; it is
    // closed with the deletion. Null for a copy that copyInode describes.
    std::unique_ptr<Copy> copyFile;
    std::uint64_t copyInode = 0;
    // What the copy must still be right before the original goes: its size, and for an
    // earlier copy (whose number a new file may have got meanwhile) its times when checked.
    std::int64_t copySize = -1;
    WallClock::time_point earlierModified{}, earlierChanged{};
    std::int64_t countedBytes = 0;  // what the run added to its byte count for this file
    bool copyDurable = false;
    // The copy was finished by an interrupted run, not written by this one: it is never removed.
    bool earlierCopy = false;
    // Its bytes are overwritten once its name is gone and before its blocks are freed, where
    // no other program has it open and no other name shows them.
    bool overwrite = false;
};

struct FailedOriginal {
    PendingOriginal entry;
    Fault fault = Fault::Io;  // Fault::Changed: the original changed after it was read
};

// An original to overwrite that is gone without that: its copy is complete all the same.
struct UnwipedOriginal {
    std::shared_ptr<const Folder> folder;
    std::string original;
    Fault fault = Fault::Io;  // Fault::InUse: another program had it open
};

struct Completion {
    std::vector<FailedOriginal> failed;
    std::vector<UnwipedOriginal> unwiped;
};

// Runs job(0) to job(count - 1), several at once where it can, and returns once all are done.
class Crew {
  public:
    virtual void Run(std::size_t count, const std::function<void(std::size_t)>& job) = 0;

  protected:
    ~Crew() = default;
};

// Makes the copies durable with one sync per file system, then deletes their originals on the
// crew, each only while it is unchanged since it was read, overwrites those to overwrite, and
// closes their files. An entry whose step fails keeps its original and loses its copy; those
// entries are returned with the reason, and so are the originals deleted but not overwritten.
Completion CompletePending(std::vector<PendingOriginal>& pending, Crew& crew);

// Unlinks name only while it is still the file that facts describe, unchanged.
[[nodiscard]] Fault RemoveUnchanged(const Folder& folder, const std::string& name,
                                    const FileFacts& facts, const Source& leased);

}  // namespace kolvik::safefile
