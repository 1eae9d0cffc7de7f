// SPDX-License-Identifier: GPL-3.0-or-later
// A POSIX copy: written unnamed (or under a scratch name), given what its original carries, and
// named without ever replacing a file.
// Every call on a file or folder goes through the FileCalls or MetaCalls table, where the fault
// tests reach it.
#include <linux/fs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/SafeFile.h"
#include "platform/posix/Faults.h"
#include "platform/posix/KeptFacts.h"
#include "platform/posix/Overwrite.h"
#include "platform/posix/SafeFileParts.h"
#include "platform/posix/ScratchMark.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

// Where the new name itself is given to the file system: a name it cannot hold (exFAT's
// forbidden characters, bytes that are no valid UTF-8 for it) says so with these. exfat-fuse
// answers ENOENT, which in a folder that is still there can only mean the name.
[[nodiscard]] Fault NamingFault(int folder) {
    const int error = errno;
    struct stat st {};
    if (error == EINVAL || error == EILSEQ ||
        (error == ENOENT && Sys().fstat(folder, &st) == 0 && st.st_nlink > 0)) {
        return Fault::BadName;
    }
    return FromErrno(error);
}

// A large copy is handed to the disk in chunks of this size while the next one is transformed.
constexpr std::int64_t kWritebackChunk = std::int64_t{8} << 20;

}  // namespace

Fault Copy::Create(const Folder& folder, const std::string& newName, std::uint32_t mode) {
    Discard();
    folder_ = &folder;
    written_ = started_ = waited_ = 0;
    inode_ = 0;
    // Nobody can open an unnamed file by name: it may have its final bits from the start, and
    // then seldom needs a change of mode. Set-id and sticky bits are always set afterwards.
    madeWith_ = mode & 0777;
    handle_ = Sys().openat(folder.Handle(), ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, madeWith_);
    if (handle_ >= 0) return Fault::None;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return LastFault();
    // No unnamed files here: a scratch name that is unmistakably ours, created exclusively so
    // that an existing file is never opened, and marked so that a later run can tell a killed
    // run's leftover from a live run's copy and from a file of the user's.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = mark::ScratchName(newName);
        if (name == newName) continue;
        handle_ = Sys().openat(folder.Handle(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (handle_ < 0 && errno == EEXIST) continue;
        if (handle_ < 0) return LastFault();
        tempName_ = name;
        struct stat st {};
        if (Sys().fstat(handle_, &st) != 0) {
            const Fault f = LastFault();
            Discard();
            return f;
        }
        inode_ = st.st_ino;
        mark::Track(folder.Device(), st.st_ino);
        (void)mark::Set(handle_);
        return Fault::None;
    }
    return Fault::Exists;
}

Fault Copy::Write(const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = Sys().write(handle_, in, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastFault();
        }
        in += n;
        size -= static_cast<std::size_t>(n);
        written_ += n;
    }
    if (written_ - started_ >= kWritebackChunk) StartWriteback();
    return Fault::None;
}

void Copy::StartWriteback() {
    // The chunk before is waited for, so that dirty pages never pile up and the final fsync
    // finds little left to write; the disk works while the next chunk is transformed.
    const auto& sys = Sys();
    if (started_ > waited_) {
        (void)sys.sync_file_range(
            handle_, waited_, started_ - waited_,
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        waited_ = started_;
    }
    (void)sys.sync_file_range(handle_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
    started_ = written_;
}

Fault Copy::Publish(const std::string& newName, const FileFacts& like, bool durable) {
    const auto& sys = Sys();
    struct stat st {};
    // An unnamed file on a native file system, made just now by this process: its owner is
    // known without asking, and its permission bits are set whatever they are.
    const bool known = tempName_.empty() && !folder_->MayHoldClaims();
    if (known) {
        st.st_uid = ThisCreator().user;
        st.st_gid = folder_->newGroup_;
    } else if (sys.fstat(handle_, &st) != 0) {
        return LastFault();
    } else {
        inode_ = st.st_ino;
    }
    // Ownership can only be kept by a privileged user, who must not lose it; others give it up
    // as `cp -a` does. First, as a change of owner drops capabilities and set-id bits.
    if ((st.st_uid != like.owner || st.st_gid != like.group) &&
        sys.fchown(handle_, like.owner, like.group) != 0 && ::geteuid() == 0) {
        return Fault::Unkeepable;
    }
    // Asked once per folder: only a folder's default ACL gives a new file one.
    if (folder_->givesAcl_ < 0) folder_->givesAcl_ = kept::GivesAcl(folder_->Handle()) ? 1 : 0;
    if (const Fault f = kept::Apply(handle_, like.extras.get(), folder_->givesAcl_ != 0);
        f != Fault::None) {
        return f;
    }
    // An ACL sets the group bits too; they are set again whatever they are then. An unnamed copy
    // made with like's bits has them unless the umask or a default ACL took some away.
    const int lost = ThisUmask();
    const bool madeRight = known && like.mode == madeWith_ && like.extras == nullptr &&
                           folder_->givesAcl_ == 0 && lost >= 0 && (like.mode & lost) == 0;
    const bool remode =
        !madeRight && (known || like.extras != nullptr || (st.st_mode & 07777) != like.mode);
    if (remode && sys.fchmod(handle_, like.mode) != 0) return LastFault();
    // Both times given: some FUSE drivers (exfat-fuse) drop the modification time when the
    // access time is left out.
    const timespec times[2] = {Exact(like.accessedExact, like.accessed),
                               Exact(like.modifiedExact, like.modified)};
    if (tempName_.empty()) {
        if (sys.futimens(handle_, times) != 0) return LastFault();
        if (durable && sys.fsync(handle_) != 0) return LastFault();
    } else {
        // A FUSE file system may hand the cached writes on only when the file is closed, and
        // stamp it with that moment: the time is set by name once it is closed.
        if (durable && sys.fsync(handle_) != 0) return LastFault();
        CloseHandle(handle_);
        if (sys.utimensat(folder_->Handle(), tempName_.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
            return LastFault();
        }
    }
    const bool scratch = !tempName_.empty();
    const Fault named = scratch ? RenameScratch(newName) : LinkUnnamed(newName);
    if (named != Fault::None) return named;
    wipe_ = false;  // the user's file now
    // The mark stays until the copy has its name, so that a kill before that leaves a scratch
    // file a later run can remove; one left on the copy by a kill right here does no harm.
    if (scratch) {
        const int copy = sys.openat(folder_->Handle(), newName.c_str(),
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (copy >= 0) {
            mark::Clear(copy);
            sys.close(copy);
        }
    }
    // Kept open, its last close goes with the deletion of the original, and its identity is
    // only asked if it has to go again.
    if (!RoomToKeepCopiesOpen()) {
        (void)Inode();
        CloseHandle(handle_);
    }
    // The folder entry is made durable with the deletion of the original, never later.
    return Fault::None;
}

std::uint64_t Copy::Inode() const {
    struct stat st {};
    if (inode_ == 0 && handle_ >= 0 && Sys().fstat(handle_, &st) == 0) inode_ = st.st_ino;
    return inode_;
}

Fault Copy::LinkUnnamed(const std::string& newName) {
    const auto& sys = Sys();
    const int dir = folder_->Handle();
    if (sys.linkat(handle_, "", dir, newName.c_str(), AT_EMPTY_PATH) == 0) return Fault::None;
    if (errno != ENOENT && errno != EPERM) return NamingFault(dir);
    // Without the privilege for AT_EMPTY_PATH the descriptor is linked through /proc.
    const std::string self = "/proc/self/fd/" + std::to_string(handle_);
    if (sys.linkat(AT_FDCWD, self.c_str(), dir, newName.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return NamingFault(dir);
    }
    return Fault::None;
}

Fault Copy::RenameScratch(const std::string& newName) {
    const auto& sys = Sys();
    const int dir = folder_->Handle();
    const char* from = tempName_.c_str();
    const char* to = newName.c_str();
    const auto named = [this] {
        mark::Forget(folder_->Device(), inode_);
        tempName_.clear();
        return Fault::None;
    };
    if (sys.renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return named();
    if (errno != EINVAL && errno != ENOSYS) return LastFault();
    // No rename that refuses to replace here; a hard link refuses too.
    if (sys.linkat(dir, from, dir, to, 0) == 0) {
        (void)sys.unlinkat(dir, from, 0);
        return named();
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return NamingFault(dir);
    // Nor hard links (FAT, exFAT and NTFS through FUSE, many network shares): the new name is
    // claimed by a file of our own, created exclusively and holding our mark, and the copy
    // renamed over it.
    const int claim =
        sys.openat(dir, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0) return NamingFault(dir);
    struct stat claimed {};
    const bool statted = sys.fstat(claim, &claimed) == 0;
    if (statted) mark::Track(claimed.st_dev, claimed.st_ino);
    const std::string content = mark::ClaimContent();
    const bool marked =
        statted && sys.write(claim, content.data(), content.size()) == ssize_t(content.size());
    const int error = errno;
    sys.close(claim);
    FileFacts now;
    // Still our claim: nobody put a file of their own there meanwhile.
    const bool ours = marked && folder_->Stat(newName, now) == Fault::None &&
                      now.inode == claimed.st_ino &&
                      now.size == static_cast<std::int64_t>(content.size());
    if (ours && sys.renameat2(dir, from, dir, to, 0) == 0) {
        mark::Forget(claimed.st_dev, claimed.st_ino);
        return named();
    }
    const Fault f = ours ? LastFault() : !marked ? FromErrno(statted ? error : EIO) : Fault::Exists;
    if (statted) {
        if (folder_->Remove(newName, claimed.st_ino) == Fault::None || !ours) {
            mark::Forget(claimed.st_dev, claimed.st_ino);
        } else {
            mark::Orphan(claimed.st_dev, claimed.st_ino);
        }
    }
    return f;
}

void Copy::Wipe() {
    if (!wipe_ || written_ == 0) return;
    if (handle_ >= 0) {
        (void)wipe::Zero(handle_, written_);
    } else if (!tempName_.empty() && folder_ != nullptr) {
        (void)wipe::ZeroNamed(folder_->Handle(), tempName_.c_str(), inode_);
    }
}

void Copy::Discard() {
    Wipe();
    CloseHandle(handle_);
    if (!tempName_.empty() && folder_ != nullptr) {
        // Left behind, it is this process's to remove when the folder is listed again.
        if (Sys().unlinkat(folder_->Handle(), tempName_.c_str(), 0) == 0) {
            mark::Forget(folder_->Device(), inode_);
        } else {
            mark::Orphan(folder_->Device(), inode_);
        }
    }
    tempName_.clear();
}

}  // namespace kolvik::safefile
