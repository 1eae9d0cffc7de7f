// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/FileCalls.h"

#include <dirent.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kolvik::posix {
namespace {

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    return ::openat(dirfd, path, flags, mode);
}
int Fcntl(int fd, int cmd, int arg) { return ::fcntl(fd, cmd, arg); }
int FstatAt(int dirfd, const char* path, struct stat* st, int flags) {
    return ::fstatat(dirfd, path, st, flags);
}

int CloseRange(unsigned first, unsigned last, int flags) {
#ifdef SYS_close_range
    return static_cast<int>(::syscall(SYS_close_range, first, last, flags));
#else
    (void)first, (void)last, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned flags) {
#ifdef SYS_renameat2
    return static_cast<int>(::syscall(SYS_renameat2, olddirfd, oldpath, newdirfd, newpath, flags));
#else
    (void)olddirfd, (void)oldpath, (void)newdirfd, (void)newpath, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

const FileCalls kReal{
    OpenAt,       ::close,    CloseRange,        ::read,          ::write,     ::lseek,
    ::pwrite,     ::pread,    ::fstat,           FstatAt,         ::fsync,     ::fdatasync,
    ::syncfs,     ::fchown,   ::fchmod,          ::futimens,      ::utimensat, ::linkat,
    RenameAt2,    ::unlinkat, ::sync_file_range, ::posix_fadvise, Fcntl,       ::flock,
    ::getdents64, ::fpathconf};
const FileCalls* gActive = &kReal;

}  // namespace

const FileCalls& Sys() { return *gActive; }
const FileCalls& RealFileCalls() { return kReal; }
void SetFileCalls(const FileCalls* calls) { gActive = calls ? calls : &kReal; }

}  // namespace kolvik::posix
