// The POSIX side of the safe publish sequence; every call goes through the FileCalls table.
#include "cipher/SafeFile.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/posix/FileCalls.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

Fault FromErrno(int e) {
    switch (e) {
    case 0: return Fault::None;
    case ENOENT:
    case ENOTDIR: return Fault::NotFound;
    case EACCES:
    case EPERM:
    case EROFS: return Fault::Access;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Fault::DiskFull;
    case EEXIST: return Fault::Exists;
    case ENAMETOOLONG: return Fault::NameTooLong;
    case ELOOP: return Fault::NotRegular;  // the entry is a symbolic link
    default: return Fault::Io;
    }
}

Fault LastFault() { return FromErrno(errno); }

void FillFacts(const struct stat& st, FileFacts& facts) {
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.modified = WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
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
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
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

}  // namespace

int ErrorCode(Fault fault) {
    switch (fault) {
    case Fault::None: return 0;
    case Fault::DiskFull: return 61;
    case Fault::Access: return 70;
    case Fault::NotFound: return 76;
    default: return 57;
    }
}

// --- Folder ---

Folder::~Folder() { Close(); }

Fault Folder::Open(const std::string& path) {
    Close();
    handle_ = Sys().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (handle_ < 0) return LastFault();
    path_ = path;
    return Fault::None;
}

void Folder::Close() {
    CloseHandle(handle_);
    path_.clear();
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
    const long max = ::fpathconf(handle_, _PC_NAME_MAX);
    return max > 0 ? static_cast<std::size_t>(max) : NAME_MAX;
}

Fault Folder::Sync() const { return Sys().fsync(handle_) == 0 ? Fault::None : LastFault(); }

Fault Folder::SyncFileSystem() const { return Sys().syncfs(handle_) == 0 ? Fault::None : LastFault(); }

Fault Folder::Remove(const std::string& name, std::uint64_t inode) const {
    FileFacts now;
    if (const Fault f = Stat(name, now); f != Fault::None) return f;
    if (now.inode != inode) return Fault::Exists;  // someone put another file there meanwhile
    return Sys().unlinkat(handle_, name.c_str(), 0) == 0 ? Fault::None : LastFault();
}

// --- Source ---

Source::~Source() { CloseHandle(handle_); }

Fault Source::Open(const Folder& folder, const std::string& name, const FileFacts& facts) {
    CloseHandle(handle_);
    handle_ = Sys().openat(folder.Handle(), name.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (handle_ < 0) return LastFault();
    struct stat st {};
    if (Sys().fstat(handle_, &st) != 0) return LastFault();
    if (!S_ISREG(st.st_mode) || st.st_ino != facts.inode || st.st_dev != facts.device) {
        CloseHandle(handle_);
        return Fault::NotRegular;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(handle_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return Fault::None;
}

Fault Source::Read(void* buf, std::size_t size, std::size_t& got) {
    got = 0;
    auto* out = static_cast<char*>(buf);
    while (got < size) {
        const ssize_t n = Sys().read(handle_, out + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastFault();
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return Fault::None;
}

// --- Copy ---

Fault Copy::Create(const Folder& folder, const std::string& newName) {
    Discard();
    folder_ = &folder;
    handle_ = Sys().openat(folder.Handle(), ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0600);
    if (handle_ >= 0) return Fault::None;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return LastFault();
    // No unnamed files here: a scratch name of our own, created exclusively so that an
    // existing file (a user's tijdel.enc, the source itself) is never opened.
    for (int variant = 0; variant < 1000; ++variant) {
        const std::string name =
            variant == 0 ? "tijdel.enc" : "tijdel" + std::to_string(variant) + ".enc";
        if (name == newName) continue;
        handle_ = Sys().openat(folder.Handle(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (handle_ >= 0) {
            tempName_ = name;
            return Fault::None;
        }
        if (errno != EEXIST) return LastFault();
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
    }
    return Fault::None;
}

Fault Copy::Publish(const std::string& newName, const FileFacts& like, bool durable) {
    const auto& sys = Sys();
    // Ownership can only be kept by a privileged user; the content is the same either way.
    (void)sys.fchown(handle_, like.owner, like.group);
    if (sys.fchmod(handle_, like.mode) != 0) return LastFault();
    const timespec times[2] = {{0, UTIME_OMIT}, ToTimespec(like.modified)};
    if (sys.futimens(handle_, times) != 0) return LastFault();
    if (durable && sys.fsync(handle_) != 0) return LastFault();
    struct stat st {};
    if (sys.fstat(handle_, &st) != 0) return LastFault();
    const int dir = folder_->Handle();
    if (tempName_.empty()) {
        if (sys.linkat(handle_, "", dir, newName.c_str(), AT_EMPTY_PATH) != 0) {
            if (errno != ENOENT && errno != EPERM) return LastFault();
            // Without the privilege for AT_EMPTY_PATH the descriptor is linked through /proc.
            const std::string self = "/proc/self/fd/" + std::to_string(handle_);
            if (sys.linkat(AT_FDCWD, self.c_str(), dir, newName.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                return LastFault();
            }
        }
    } else {
        if (sys.renameat2(dir, tempName_.c_str(), dir, newName.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) return LastFault();
            // A file system without renameat2: a hard link also refuses to replace.
            if (sys.linkat(dir, tempName_.c_str(), dir, newName.c_str(), 0) != 0) return LastFault();
            (void)sys.unlinkat(dir, tempName_.c_str(), 0);
        }
        tempName_.clear();
    }
    inode_ = st.st_ino;
    CloseHandle(handle_);
    // The folder entry is made durable with the deletion of the original, never later.
    return Fault::None;
}

void Copy::Discard() {
    CloseHandle(handle_);
    if (!tempName_.empty() && folder_ != nullptr) {
        (void)Sys().unlinkat(folder_->Handle(), tempName_.c_str(), 0);
    }
    tempName_.clear();
}

// --- Pending originals ---

std::vector<PendingOriginal> CompletePending(const Folder& folder, std::vector<PendingOriginal>& pending) {
    std::vector<PendingOriginal> failed;
    if (pending.empty()) return failed;
    const bool needSync = std::any_of(pending.begin(), pending.end(),
                                      [](const PendingOriginal& p) { return !p.copyDurable; });
    // A file-system sync also commits the folder's new entries; copies synced one by one
    // still need the folder synced for their names.
    const bool durable = needSync ? folder.SyncFileSystem() == Fault::None : folder.Sync() == Fault::None;
    bool removed = false;
    for (auto& p : pending) {
        if (durable && folder.Remove(p.original, p.originalInode) == Fault::None) {
            removed = true;
            continue;
        }
        // The original stays; its copy is then redundant, and may not even be complete.
        (void)folder.Remove(p.copy, p.copyInode);
        failed.push_back(std::move(p));
    }
    pending.clear();
    // Only single-file runs wait for the deletions to be on disk too; elsewhere the next group's
    // sync carries them, and a lost deletion merely brings an original back beside its copy.
    if (removed && !needSync) (void)folder.Sync();
    return failed;
}

// --- Listing ---

Fault EntryFacts(const std::string& path, FileFacts& facts) {
    struct stat st {};
    if (Sys().fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return LastFault();
    FillFacts(st, facts);
    return Fault::None;
}

Fault ListFolder(const std::string& path, std::vector<std::string>& files,
                 std::vector<std::string>& folders) {
    files.clear();
    folders.clear();
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return LastFault();
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isFolder = ::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISDIR(st.st_mode);
        }
        (isFolder ? folders : files).push_back(name);
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) return FromErrno(readError);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    return Fault::None;
}

Fault FolderSize(const std::string& path, std::int64_t& bytes) {
    std::vector<std::string> files, folders;
    if (const Fault f = ListFolder(path, files, folders); f != Fault::None) return f;
    std::int64_t total = 0;
    for (const auto& name : files) {
        FileFacts facts;
        if (EntryFacts(path + "/" + name, facts) == Fault::None && facts.regular) total += facts.size;
    }
    for (const auto& name : folders) {
        std::int64_t below = 0;
        if (const Fault f = FolderSize(path + "/" + name, below); f != Fault::None) return f;
        total += below;
    }
    bytes = total;
    return Fault::None;
}

}  // namespace kolvik::safefile
