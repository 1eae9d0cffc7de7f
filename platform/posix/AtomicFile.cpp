// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace kolvik {
namespace {

FileError ErrorOf(int error) {
    switch (error) {
        case 0:
            return FileError::None;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return FileError::DiskFull;
        case EACCES:
        case EPERM:
            return FileError::Denied;
        case ENOENT:
        case ENOTDIR:
            return FileError::PathNotFound;
        default:
            return FileError::Other;
    }
}

mode_t ModeFor(FileUse use) { return use == FileUse::Program ? 0755 : 0644; }

}  // namespace

namespace posix {

FileError WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ignored;
    fs::create_directories(target.parent_path(), ignored);
    std::string temp = target.parent_path() / ("." + target.filename().string() + ".XXXXXX");
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return ErrorOf(error);
    }
    const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileError::None;
}

}  // namespace posix

FileError AtomicWrite(const std::string& path, std::string_view bytes, FileUse use) {
    return posix::WriteFileAtomically(path, bytes, ModeFor(use));
}

FileError AtomicCopy(const std::string& from, const std::string& to, FileUse use) {
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    std::string bytes;
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0) return ErrorOf(error);
    return AtomicWrite(to, bytes, use);
}

}  // namespace kolvik
