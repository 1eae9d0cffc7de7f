// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX folder: opened by handle below the target, asked about its entries and its file
// system, and synced.
// Every call on a file or folder goes through the FileCalls or MetaCalls table, where the fault
// tests reach it.
#include <sys/vfs.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/posix/Faults.h"
#include "platform/posix/MetaCalls.h"
#include "platform/posix/Overwrite.h"
#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {

using posix::Sys;

Folder::~Folder() { Close(); }

Fault Folder::Open(const std::string& path) {
    RaiseOpenFileLimit();
    Close();
    handle_ = Sys().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (handle_ < 0) return LastFault();
    return Opened(path);
}

Fault Folder::OpenChild(const Folder& parent, const std::string& name) {
    Close();
    handle_ = Sys().openat(parent.Handle(), name.c_str(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (handle_ < 0) {
        const int error = errno;
        // With O_DIRECTORY, Linux answers a link with ENOTDIR rather than ELOOP.
        struct stat entry {};
        const bool link = error == ELOOP || (error == ENOTDIR &&
                                             Sys().fstatat(parent.Handle(), name.c_str(), &entry,
                                                           AT_SYMLINK_NOFOLLOW) == 0 &&
                                             S_ISLNK(entry.st_mode));
        return link ? Fault::IsLink : FromErrno(error);
    }
    if (const Fault f = Opened(parent.Path() == "/" ? "/" + name : parent.Path() + "/" + name);
        f != Fault::None) {
        return f;
    }
    // A stick mounted inside the tree, or a bind mount of a folder elsewhere: a run stays on
    // the mount it started on, so that nothing outside its tree changes.
    // Where the mount is known it decides, so a Btrfs subvolume (a device of its own on the
    // same mount) is still walked.
    const bool mountsKnown = mount_ != 0 && parent.mount_ != 0;
    if (mountsKnown ? mount_ != parent.mount_ : device_ != parent.device_) {
        Close();
        return Fault::OtherMount;
    }
    return Fault::None;
}

Fault Folder::Opened(std::string path) {
    struct stat st {};
    if (Sys().fstat(handle_, &st) != 0) {
        const Fault f = LastFault();
        CloseHandle(handle_);
        return f;
    }
    device_ = st.st_dev;
    if (posix::Meta().mountid(handle_, &mount_) != 0) mount_ = 0;
    newGroup_ = (st.st_mode & S_ISGID) != 0 ? st.st_gid : ThisCreator().group;
    path_ = std::move(path);
    return Fault::None;
}

void Folder::Close() {
    CloseHandle(handle_);
    runLock_.reset();
    path_.clear();
    nameMax_ = 0;
    claims_ = -1;
    givesAcl_ = -1;
    oldBlocks_ = {};
    oldBlocksAsked_ = false;
    leftoverClaims_.clear();
}

Fault Folder::Stat(const std::string& name, FileFacts& facts) const {
    struct stat st {};
    if (Sys().fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastFault();
    FillFacts(st, facts);
    return Fault::None;
}

bool Folder::Exists(const std::string& name) const {
    struct stat st {};
    // Anything but a clear "no such entry" counts as taken: never risk a name we cannot see.
    return Sys().fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

std::size_t Folder::MaxNameBytes() const {
    if (nameMax_ == 0) {
        const long max = Sys().fpathconf(handle_, _PC_NAME_MAX);
        nameMax_ = max > 0 ? static_cast<std::size_t>(max) : NAME_MAX;
    }
    return nameMax_;
}

bool Folder::MayHoldClaims() const {
    if (claims_ < 0) {
        struct statfs fs {};
        constexpr long kNative[] = {
            0xEF53 /* ext2-4 */, 0x58465342 /* xfs */, static_cast<long>(0x9123683E) /* btrfs */,
            0x01021994 /* tmpfs */, static_cast<long>(0xF2F52010) /* f2fs */};
        claims_ = posix::Meta().fstatfs(handle_, &fs) != 0 ||
                  std::find(std::begin(kNative), std::end(kNative), static_cast<long>(fs.f_type)) ==
                      std::end(kNative);
    }
    return claims_ != 0;
}

std::string_view Folder::KeepsOldBlocks() const {
    if (!oldBlocksAsked_) {
        struct statfs fs {};
        if (posix::Meta().fstatfs(handle_, &fs) == 0) oldBlocks_ = wipe::OldBlocksKeeper(fs.f_type);
        oldBlocksAsked_ = true;
    }
    return oldBlocks_;
}

Fault Folder::Sync() const { return Sys().fsync(handle_) == 0 ? Fault::None : LastFault(); }

Fault Folder::SyncFileSystem() const {
    return Sys().syncfs(handle_) == 0 ? Fault::None : LastFault();
}

Fault Folder::Remove(const std::string& name, std::uint64_t inode) const {
    FileFacts now;
    if (const Fault f = Stat(name, now); f != Fault::None) return f;
    if (now.inode != inode) return Fault::Exists;  // someone put another file there meanwhile
    return Sys().unlinkat(handle_, name.c_str(), 0) == 0 ? Fault::None : LastFault();
}

}  // namespace kolvik::safefile
