// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "Helpers.h"
#include "PosixFiles.h"
#include "platform/posix/MetaCalls.h"

namespace kolvik::test {

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ns = std::chrono::nanoseconds(t.time_since_epoch()).count();
    const timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool MakeSymlink(const std::string& target, const std::string& link) {
    std::filesystem::create_symlink(target, link);
    return true;
}

std::uint64_t FileId(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

HeldOpen::HeldOpen(const std::string& path, bool writing)
    : handle_(::open(path.c_str(), (writing ? O_WRONLY : O_RDONLY) | O_CLOEXEC)) {}

HeldOpen::~HeldOpen() { ::close(static_cast<int>(handle_)); }

std::string HeldOpen::Reads(std::size_t size) const {
    std::string out(size, '\0');
    return ::pread(static_cast<int>(handle_), out.data(), size, 0) == static_cast<ssize_t>(size)
               ? out
               : "";
}

pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child;
}

std::optional<unsigned> Flags(const std::string& path, unsigned add, unsigned drop) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok && (add | drop) != 0) {
        flags = static_cast<int>((static_cast<unsigned>(flags) | add) & ~drop);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) ::close(fd);
    return ok ? std::optional<unsigned>(static_cast<unsigned>(flags)) : std::nullopt;
}

std::optional<std::string> Xattr(const std::string& path, const char* name) {
    char value[256];
    const ssize_t n = ::lgetxattr(path.c_str(), name, value, sizeof value);
    if (n < 0) return std::nullopt;
    return std::string(value, static_cast<std::size_t>(n));
}

bool SetXattr(const std::string& path, const char* name, const std::string& value) {
    return ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

namespace {

MetaFaults gMeta;
const posix::MetaCalls& realMeta = posix::RealMetaCalls();

const posix::MetaCalls kFakeMeta = [] {
    posix::MetaCalls c = realMeta;
    c.fgetxattr = [](int fd, const char* name, void* value, size_t size) -> ssize_t {
        if (gMeta.xattrError != 0 && gMeta.onlyXattr == nullptr)
            return errno = gMeta.xattrError, -1;
        return realMeta.fgetxattr(fd, name, value, size);
    };
    c.fsetxattr = [](int fd, const char* name, const void* value, size_t size, int f) {
        const bool refused =
            gMeta.onlyXattr == nullptr || std::string_view(name) == gMeta.onlyXattr;
        if (gMeta.xattrError != 0 && refused) return errno = gMeta.xattrError, -1;
        return realMeta.fsetxattr(fd, name, value, size, f);
    };
    c.setflags = [](int fd, unsigned flags) {
        if (gMeta.flagsError != 0) return errno = gMeta.flagsError, -1;
        return realMeta.setflags(fd, flags);
    };
    c.fstatfs = [](int fd, struct statfs* fs) {
        const int result = realMeta.fstatfs(fd, fs);
        if (gMeta.fuse) fs->f_type = 0x65735546;  // FUSE_SUPER_MAGIC
        return result;
    };
    return c;
}();

}  // namespace

FakeMetaCalls::FakeMetaCalls(const MetaFaults& faults) {
    gMeta = faults;
    posix::SetMetaCalls(&kFakeMeta);
}

FakeMetaCalls::~FakeMetaCalls() { posix::SetMetaCalls(nullptr); }

}  // namespace kolvik::test
