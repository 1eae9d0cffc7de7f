// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX side of the safe publish sequence. Every call on a file or folder goes through the
// FileCalls or MetaCalls table, where the fault tests reach it; the process limits, the signal
// set-up and the SIGIO handler's own lease release call the system directly.
#include "platform/SafeFile.h"

#include <dirent.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/vfs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "platform/SafeFileRules.h"
#include "platform/posix/Faults.h"
#include "platform/posix/FileCalls.h"
#include "platform/posix/KeptFacts.h"
#include "platform/posix/MetaCalls.h"
#include "platform/posix/Overwrite.h"
#include "platform/posix/ScratchMark.h"

namespace kolvik::safefile {

Fault FromErrno(int e) {
    switch (e) {
        case 0:
            return Fault::None;
        case ENOENT:
        case ENOTDIR:
            return Fault::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Fault::Access;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Fault::DiskFull;
        case EEXIST:
            return Fault::Exists;
        case ENAMETOOLONG:
            return Fault::NameTooLong;
        case ELOOP:
            return Fault::NotRegular;  // the entry is a symbolic link
        case EWOULDBLOCK:
            return Fault::InUse;  // a lease elsewhere
        default:
            return Fault::Io;
    }
}

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

constexpr off_t kLargeFile = off_t{4} << 20;
// A large copy is handed to the disk in chunks of this size while the next one is transformed.
constexpr std::int64_t kWritebackChunk = std::int64_t{8} << 20;

// Clamped to what a time_point holds: a file dated past 2262 still compares as later than any
// moment of the run, rather than wrapping round to 1677.
WallClock::time_point FromTimespec(const timespec& t) {
    using Ns = std::chrono::nanoseconds;
    constexpr auto kMaxSeconds = std::numeric_limits<Ns::rep>::max() / 1000000000 - 1;
    if (t.tv_sec > kMaxSeconds) return WallClock::time_point::max();
    if (t.tv_sec < -kMaxSeconds) return WallClock::time_point::min();
    return WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::seconds(t.tv_sec) + Ns(t.tv_nsec)));
}

void FillFacts(const struct stat& st, FileFacts& facts) {
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.modified = FromTimespec(st.st_mtim);
    facts.changed = FromTimespec(st.st_ctim);
    facts.accessed = FromTimespec(st.st_atim);
    facts.modifiedExact = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    facts.accessedExact = {st.st_atim.tv_sec, st.st_atim.tv_nsec};
    facts.extras.reset();
    facts.regular = S_ISREG(st.st_mode);
    facts.directory = S_ISDIR(st.st_mode);
    facts.multiplyLinked = facts.regular && st.st_nlink > 1;
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.mode = st.st_mode & 07777;
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
}

timespec ToTimespec(WallClock::time_point t) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1000000000;
        --ts.tv_sec;
    }
    return ts;
}

void CloseHandle(int& handle) {
    if (handle >= 0) Sys().close(handle);
    handle = -1;
}

// A deep tree keeps one folder open per level, and a group of pending originals one file
// each: the usual soft limit of 1024 would cut a tree of a few hundred levels short.
void RaiseOpenFileLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    });
}

// A writer that opens a leased file waits until the lease is given up. Giving it up at once
// lets the writer go on; the lease is then gone, and the original is kept (LeaseHeld). The
// break comes as a plain SIGIO, which does not say which file: the handler asks every leased
// descriptor, marked in this bitmap, and gives up those whose lease is being broken. That
// spares a call per file to name a signal of its own.
constexpr int kLeaseSlots = 65536;  // descriptors above it get no lease
constexpr int kSlotBits = 64;
std::atomic<std::uint64_t> gLeased[kLeaseSlots / kSlotBits];
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "used in a signal handler");

void MarkLeased(int fd, bool leased) {
    const std::uint64_t bit = std::uint64_t{1} << (fd % kSlotBits);
    auto& word = gLeased[fd / kSlotBits];
    if (leased)
        word.fetch_or(bit);
    else
        word.fetch_and(~bit);
}

extern "C" void OnLeaseBreak(int) {
    const int saved = errno;
    for (int w = 0; w < kLeaseSlots / kSlotBits; ++w) {
        for (std::uint64_t bits = gLeased[w].load(); bits != 0; bits &= bits - 1) {
            const int fd = w * kSlotBits + __builtin_ctzll(bits);
            // While a break is under way the lease already reads as the type it is broken to.
            if (::fcntl(fd, F_GETLEASE) != F_RDLCK) (void)::fcntl(fd, F_SETLEASE, F_UNLCK);
        }
    }
    errno = saved;
}

void InstallLeaseBreakHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = OnLeaseBreak;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        (void)::sigaction(SIGIO, &action, nullptr);
    });
}

// The owner and group a file created now gets, unless its folder says otherwise. Asked once;
// nothing in Kolvik changes them during a run.
struct Creator {
    unsigned user = 0, group = 0;
};

const Creator& ThisCreator() {
    static const Creator creator{::geteuid(), ::getegid()};
    return creator;
}

// A large group keeps a source and a copy open per file; with a tight limit copies are closed
// as soon as they are named.
bool RoomToKeepCopiesOpen() {
    static const bool room = [] {
        rlimit limit{};
        return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= 4096;
    }();
    return room;
}

bool IsScratchName(const std::string& name) { return mark::ScratchNameOwner(name) != 0; }

timespec Exact(const FileFacts::ExactTime& exact, WallClock::time_point t) {
    if (exact.nanoseconds < 0) return ToTimespec(t);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(exact.seconds);
    ts.tv_nsec = static_cast<long>(exact.nanoseconds);
    return ts;
}

}  // namespace

// --- Folder ---

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

// --- Source ---

Source::~Source() { Close(); }

Source::Source(Source&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      leased_(std::exchange(other.leased_, false)),
      fixed_(other.fixed_),
      position_(other.position_),
      size_(other.size_) {}

Source& Source::operator=(Source&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        leased_ = std::exchange(other.leased_, false);
        fixed_ = other.fixed_;
        position_ = other.position_;
        size_ = other.size_;
    }
    return *this;
}

void Source::Close() {
    if (leased_) MarkLeased(handle_, false);
    CloseHandle(handle_);
    leased_ = false;
}

Fault Source::Open(const Folder& folder, const std::string& name, FileFacts& facts, bool lease) {
    Close();
    handle_ = Sys().openat(folder.Handle(), name.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (handle_ < 0) return LastFault();
    struct stat st {};
    if (Sys().fstat(handle_, &st) != 0) {
        const Fault f = LastFault();
        Close();
        return f;
    }
    FileFacts now;
    FillFacts(st, now);
    if (!OpenedAsDescribed(now, facts)) {
        Close();
        return Fault::NotRegular;
    }
    facts = std::move(now);
    facts.extras = kept::Read(handle_);
    fixed_ = facts.extras != nullptr && facts.extras->fixed;
    position_ = 0;
    // Where the size is the file system's own record, reading stops there rather than asking
    // once more for the end; some FUSE and network file systems report sizes that lag.
    size_ = st.st_size > 0 && !folder.MayHoldClaims() ? st.st_size : -1;
    if (lease) {
        if (const Fault f = TakeLease(); f != Fault::None) return f;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    // Worth a call only where read-ahead has room to grow.
    if (st.st_size >= kLargeFile) ::posix_fadvise(handle_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return Fault::None;
}

Fault Source::TakeLease() {
    if (handle_ < 0 || leased_) return Fault::None;
    // Past the bitmap no break could be heard.
    if (handle_ >= kLeaseSlots) {
        Close();
        return Fault::Unguarded;
    }
    InstallLeaseBreakHandler();
    // Marked first, so that a break that comes right after the lease is never missed.
    MarkLeased(handle_, true);
    if (Sys().fcntl(handle_, F_SETLEASE, F_RDLCK) == 0) {
        leased_ = true;
        // Told here, before any copy exists: an append-only or immutable file refuses its
        // deletion only once the copy is named. The flags were read when it was opened.
        if (fixed_) {
            Close();
            return Fault::Undeletable;
        }
        return Fault::None;
    }
    const int error = errno;
    MarkLeased(handle_, false);
    Close();
    // Open for writing elsewhere: whatever that program writes next would be lost. Without a
    // lease at all (not the owner, a file system without leases) a writer that opens the file
    // now and writes after the deletion would be lost just as silently.
    return error == EAGAIN ? Fault::InUse : Fault::Unguarded;
}

Fault Source::Read(void* buf, std::size_t size, std::size_t& got) {
    got = 0;
    auto* out = static_cast<char*>(buf);
    while (got < size && (size_ < 0 || position_ < size_)) {
        const ssize_t n = Sys().read(handle_, out + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastFault();
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        position_ += n;
    }
    return Fault::None;
}

Fault Source::Seek(std::int64_t offset) {
    if (Sys().lseek(handle_, static_cast<off_t>(offset), SEEK_SET) != offset) return LastFault();
    position_ = offset;
    return Fault::None;
}

Fault Source::Sync() { return Sys().fsync(handle_) == 0 ? Fault::None : LastFault(); }

bool Source::LeaseHeld() const {
    return leased_ && handle_ >= 0 && Sys().fcntl(handle_, F_GETLEASE, 0) == F_RDLCK;
}

// --- Copy ---

Fault Copy::Create(const Folder& folder, const std::string& newName) {
    Discard();
    folder_ = &folder;
    written_ = started_ = waited_ = 0;
    inode_ = 0;
    handle_ = Sys().openat(folder.Handle(), ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
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
    // An ACL sets the group bits too; they are set again whatever they are then.
    const bool remode = known || like.extras != nullptr || (st.st_mode & 07777) != like.mode;
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

// --- Pending originals ---

namespace {

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

// --- Listing ---

Fault Folder::List(std::vector<std::string>& files, std::vector<std::string>& folders,
                   std::vector<std::string>* scratch, std::vector<bool>* regular) const {
    Listing listed(files, folders, scratch, regular);
    // A descriptor of its own, so that the folder's stays where it is; read into a large
    // buffer, a folder of a few thousand entries takes one call, and one more to see the end.
    const int listing = Sys().openat(handle_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (listing < 0) return LastFault();
    constexpr std::size_t kListBuffer = std::size_t{64} << 10;
    thread_local std::vector<char> buffer(kListBuffer);
    for (;;) {
        const ssize_t n = Sys().getdents64(listing, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const Fault f = LastFault();
            Sys().close(listing);
            return f;
        }
        if (n == 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                // Not every file system fills the type in.
                struct stat st {};
                if (Sys().fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
                }
            }
            if (type == DT_DIR) {
                listed.AddFolder(name);
            } else if (IsScratchName(name)) {
                listed.AddScratch(name);
            } else {
                listed.AddFile(name, type == DT_REG);
            }
        }
    }
    Sys().close(listing);
    listed.Finish();
    return Fault::None;
}

void Folder::RemoveLeftoverScratch(const std::string& name) const {
    const pid_t owner = mark::ScratchNameOwner(name);
    const int fd = Sys().openat(handle_, name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) return;
    struct stat st {};
    // A second name is the copy it was published as, where a kill came between the link and
    // the unlink of the scratch name: Leftover takes only a file with one.
    const bool statted = Sys().fstat(fd, &st) == 0;
    bool leftover = false;
    if (statted && owner != 0) {
        leftover = mark::Leftover(fd, st, owner);
        if (leftover) leftoverClaims_.push_back(name.substr(name.size() - 16));
        // The published copy keeps the file: not the mark.
        if (leftover && st.st_nlink > 1) mark::Clear(fd);
    } else if (statted) {
        // A claim is marked by its content, but a kill can come before that is written.
        leftover = mark::LeftoverClaim(fd, st) ||
                   (st.st_size == 0 && st.st_nlink == 1 && S_ISREG(st.st_mode) &&
                    std::find(leftoverClaims_.begin(), leftoverClaims_.end(),
                              mark::NameDigits(name)) != leftoverClaims_.end());
    }
    Sys().close(fd);
    // Whatever it held, plain text of a strong file that did not open included, is overwritten
    // before its blocks are freed; a second name is the published copy's, whose bytes stay.
    if (leftover && owner != 0 && st.st_nlink == 1 && st.st_size > 0)
        (void)wipe::ZeroNamed(handle_, name.c_str(), st.st_ino);
    if (leftover && Remove(name, st.st_ino) == Fault::None) mark::Forget(st.st_dev, st.st_ino);
}

}  // namespace kolvik::safefile
