// SPDX-License-Identifier: GPL-3.0-or-later
// One run per folder across processes. Two runs in one folder take each other's fresh copies
// for the leftovers of an interrupted run and delete the originals beside them; a lock that
// every Kolvik honours keeps them apart.
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/posix/FileCalls.h"
#include "platform/posix/MetaCalls.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

const std::string kLockFile(kRunLockName);

// The lock of one directory, shared by every Folder of this process on it: a second Folder
// on the same directory (the next pass, a single file beside a walk) must not lock itself out.
struct RunLock {
    RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock() {
        // Our lock file goes only while it is still the one we made.
        struct stat st {};
        if (fileInode != 0 &&
            Sys().fstatat(dir, kLockFile.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_ino == fileInode) {
            (void)Sys().unlinkat(dir, kLockFile.c_str(), 0);
        }
        // A flock belongs to this descriptor and ends with its close.
        if (dir >= 0) Sys().close(dir);
    }
    int dir = -1;
    ino_t fileInode = 0;  // of our lock file; 0 while a flock holds the folder
};

std::mutex gMutex;
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<RunLock>> gLocks;
std::size_t gPurgeAt = 64;

// Folders a walk has left stay in the map as expired entries: cleared now and then, so that a
// tree of many folders does not grow it for ever.
void Remember(const decltype(gLocks)::key_type& key, const std::shared_ptr<RunLock>& lock) {
    gLocks[key] = lock;
    if (gLocks.size() < gPurgeAt) return;
    std::erase_if(gLocks, [](const auto& entry) { return entry.second.expired(); });
    gPurgeAt = 2 * gLocks.size() + 64;
}

enum class Try { Taken, Busy, Again, Failed };

// NFS takes a flock as a byte-range lock, which a folder opened for reading cannot hold (EBADF).
bool FlockUnsupported(int e) {
    return e == ENOLCK || e == EOPNOTSUPP || e == EINVAL || e == ENOSYS || e == EBADF;
}

// The machine a lock file names after its process: on a shared folder another machine's
// process numbers say nothing here.
std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

// A lock file of a process of this machine that is gone is stale; so is one that still names
// no process a while after it was made (its maker died between creating and writing it). One
// of another machine is never taken for stale.
bool Stale(const std::string& text, const struct stat& st) {
    pid_t pid = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != '\n'; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9' || pid > 99999999) return false;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0) return ::time(nullptr) - st.st_mtime > 10;
    if (i < text.size()) {
        std::string host = text.substr(i + 1);
        if (const auto end = host.find('\n'); end != std::string::npos) host.resize(end);
        if (!host.empty() && host != HostName()) return false;
    }
    // Our own number in a file this process does not hold: left by an earlier process.
    return pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
}

Try TakeLockFile(RunLock& lock) {
    const auto& sys = Sys();
    const int fd = sys.openat(lock.dir, kLockFile.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string pid = std::to_string(::getpid()) + "\n" + HostName() + "\n";
        struct stat st {};
        const bool ok = sys.write(fd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size()) &&
                        sys.fstat(fd, &st) == 0;
        sys.close(fd);
        if (!ok) {
            (void)sys.unlinkat(lock.dir, kLockFile.c_str(), 0);
            return Try::Failed;
        }
        lock.fileInode = st.st_ino;
        return Try::Taken;
    }
    if (errno != EEXIST) return Try::Failed;
    const int held =
        sys.openat(lock.dir, kLockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    // A lock file we may not read is another user's run, as far as we can tell.
    if (held < 0) return errno == ENOENT ? Try::Again : Try::Busy;
    char text[300] = {};
    struct stat st {};
    const ssize_t n = sys.read(held, text, sizeof text - 1);
    const bool statted = sys.fstat(held, &st) == 0;
    sys.close(held);
    if (n < 0 || !statted || !Stale(std::string(text, static_cast<std::size_t>(n)), st)) {
        return Try::Busy;
    }
    // Taken over: removed only while it is still the file just read, so that of two runs
    // taking over at once only one succeeds.
    struct stat now {};
    if (sys.fstatat(lock.dir, kLockFile.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_ino == st.st_ino) {
        (void)sys.unlinkat(lock.dir, kLockFile.c_str(), 0);
    }
    return Try::Again;
}

}  // namespace

// There a lease is broken only by this kernel's writers, a flock holds within one mount, and a
// name's inode may change with a link.
std::string_view Folder::SharedWith() const {
    struct statfs fs {};
    struct stat st {};
    // A folder that cannot tell is taken for shared: never guard on a guess.
    if (posix::Meta().fstatfs(handle_, &fs) != 0 || Sys().fstat(handle_, &st) != 0)
        return "onbekend";
    // fuseblk (exfat-fuse, ntfs-3g) carries its block device's number, so this kernel is its
    // only writer; other FUSE (sshfs, rclone, bindfs, gvfs) an anonymous one.
    const auto type = static_cast<std::uint32_t>(fs.f_type);
    if (type == 0x65735546) return major(st.st_dev) == 0 ? "FUSE" : "";
    static constexpr std::pair<std::uint32_t, std::string_view> kShared[] = {
        {0x6969, "nfs"},          {0x517B, "smb"},       {0xFF534D42, "cifs"},
        {0xFE534D42, "smb2"},     {0x01021997, "9p"},    {0x00C36400, "ceph"},
        {0x5346414F, "afs"},      {0x6B414653, "afs"},   {0x73757245, "coda"},
        {0x564C, "ncp"},          {0x7461636F, "ocfs2"}, {0x01161970, "gfs2"},
        {0x13661366, "orangefs"}, {0x0BD00BD0, "lustre"}};
    for (const auto& [magic, name] : kShared)
        if (type == magic) return name;
    return {};
}

Fault Folder::LockForRun(std::chrono::milliseconds patience) {
    if (runLock_) return Fault::None;
    // chattr +a: new names can be made, none removed, so no original could ever go.
    unsigned flags = 0;
    if (posix::Meta().getflags(handle_, &flags) == 0 &&
        (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0) {
        return Fault::Undeletable;
    }
    const auto& sys = Sys();
    struct stat st {};
    if (sys.fstat(handle_, &st) != 0) return Fault::Io;
    if (!SharedWith().empty()) return Fault::Unguarded;
    const std::lock_guard<std::mutex> guard(gMutex);
    const auto key = std::make_pair(st.st_dev, st.st_ino);
    if (auto held = gLocks[key].lock()) {
        runLock_ = std::move(held);
        return Fault::None;
    }
    auto lock = std::make_shared<RunLock>();
    lock->dir = sys.openat(handle_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (lock->dir < 0) return Fault::Io;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    bool withFile = false;
    int takenOver = 0;
    for (;;) {
        Try result = Try::Failed;
        if (!withFile) {
            if (sys.flock(lock->dir, LOCK_EX | LOCK_NB) == 0) {
                result = Try::Taken;
            } else if (errno == EWOULDBLOCK || errno == EINTR) {
                result = Try::Busy;
            } else if (FlockUnsupported(errno)) {
                withFile = true;
                continue;
            }
        } else {
            result = TakeLockFile(*lock);
        }
        if (result == Try::Taken) break;
        if (result == Try::Failed) {
            // A folder where not even our lock file can be made takes no copy either: the
            // files then fail with their own reason.
            if (withFile) return Fault::None;
            return Fault::Io;
        }
        // A stale file that will not go is waited for like a live one.
        if (result == Try::Again && ++takenOver < 5) continue;
        if (std::chrono::steady_clock::now() >= deadline) return Fault::Held;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Remember(key, lock);
    runLock_ = std::move(lock);
    return Fault::None;
}

bool Folder::IsRunLockFile(std::uint64_t inode) const {
    const auto* lock = static_cast<const RunLock*>(runLock_.get());
    return lock != nullptr && lock->fileInode != 0 && lock->fileInode == inode;
}

}  // namespace kolvik::safefile
