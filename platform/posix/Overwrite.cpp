// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/Overwrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/posix/Faults.h"
#include "platform/posix/FileCalls.h"

namespace kolvik::safefile::wipe {
namespace {

using posix::Sys;

// Large writes: a file is overwritten at about the speed it was copied.
constexpr std::size_t kZeroBlock = std::size_t{1} << 20;
const char kZeros[kZeroBlock] = {};

[[nodiscard]] Fault ZeroRange(int fd, off_t from, off_t to) {
    while (from < to) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(to - from, off_t{kZeroBlock}));
        const ssize_t written = Sys().pwrite(fd, kZeros, n, from);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? LastFault() : Fault::Io;
        from += written;
    }
    return Fault::None;
}

// Opens a second descriptor, for writing, on the file behind fd. The file's mode may forbid
// writing; its owner may change that on a file no name shows any more.
int Writer(int reader, mode_t mode) {
    const auto& sys = Sys();
    const std::string self = "/proc/self/fd/" + std::to_string(reader);
    // O_NONBLOCK: a lease another program holds refuses at once rather than after its break.
    constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const int writer = sys.openat(AT_FDCWD, self.c_str(), kFlags, 0);
    if (writer >= 0 || errno != EACCES || (mode & S_IWUSR) != 0) return writer;
    if (sys.fchmod(reader, (mode & 07777) | S_IWUSR) != 0) return -1;
    return sys.openat(AT_FDCWD, self.c_str(), kFlags, 0);
}

}  // namespace

Fault ZeroData(int fd, off_t size) {
    const auto& sys = Sys();
    for (off_t at = 0; at < size;) {
        const off_t data = sys.lseek(fd, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) break;  // a hole up to the end
        // Without SEEK_DATA here the rest is taken for data.
        const off_t hole = data < 0 ? size : sys.lseek(fd, data, SEEK_HOLE);
        const off_t from = data < 0 ? at : data;
        const off_t to = hole < 0 ? size : std::min(hole, size);
        if (const Fault f = ZeroRange(fd, from, to); f != Fault::None) return f;
        at = to;
    }
    return Fault::None;
}

Fault Zero(int fd, off_t size) {
    if (const Fault f = ZeroData(fd, size); f != Fault::None) return f;
    return Sys().fdatasync(fd) == 0 ? Fault::None : LastFault();
}

Fault ZeroNameless(int& reader, nlink_t hidden, int& writer) {
    const auto& sys = Sys();
    struct stat st {};
    if (sys.fstat(reader, &st) != 0) return LastFault();
    // Another name still shows these bytes: they are not ours to overwrite.
    if (st.st_nlink > hidden) return Fault::Exists;
    writer = Writer(reader, st.st_mode);
    if (writer < 0) return LastFault();
    // Only our writer may hold the file now: the write lease is granted only to the one
    // descriptor of a file that no other has open or mapped.
    sys.close(reader);
    reader = -1;
    Fault f = Fault::None;
    if (sys.fcntl(writer, F_SETLEASE, F_WRLCK) != 0) {
        f = errno == EAGAIN ? Fault::InUse : LastFault();
    } else if (sys.fstat(writer, &st) != 0) {
        f = LastFault();
    } else {
        f = st.st_nlink > hidden ? Fault::Exists : ZeroData(writer, st.st_size);
    }
    if (f != Fault::None) {
        sys.close(writer);  // and with it the lease
        writer = -1;
    }
    return f;
}

Fault ZeroNamed(int dir, const char* name, ino_t inode) {
    const auto& sys = Sys();
    const int fd =
        sys.openat(dir, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) return LastFault();
    struct stat st {};
    Fault f = Fault::None;
    if (sys.fstat(fd, &st) != 0) {
        f = LastFault();
    } else if (st.st_ino != inode || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        f = Fault::Changed;
    } else {
        f = Zero(fd, st.st_size);
    }
    sys.close(fd);
    return f;
}

std::string_view OldBlocksKeeper(long type) {
    struct Kind {
        std::uint32_t type;
        std::string_view name;
    };
    // Copy-on-write and log-structured file systems.
    constexpr Kind kKeepers[] = {{0x9123683E, "btrfs"},
                                 {0x2FC12FC1, "zfs"},
                                 {0xCA451A4E, "bcachefs"},
                                 {0xF2F52010, "f2fs"},
                                 {0x3434, "nilfs2"}};
    for (const Kind& k : kKeepers) {
        if (k.type == static_cast<std::uint32_t>(type)) return k.name;
    }
    return {};
}

}  // namespace kolvik::safefile::wipe
