// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system calls behind every per-file operation, gathered in one table so that a test
// can make any single write, sync, link or unlink fail and check that nothing was lost.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace kolvik::posix {

struct FileCalls {
    int (*openat)(int dirfd, const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    // Closes every descriptor from first to last; ENOSYS on kernels before 5.9.
    int (*close_range)(unsigned first, unsigned last, int flags);
    ssize_t (*read)(int fd, void* buf, size_t count);
    ssize_t (*write)(int fd, const void* buf, size_t count);
    // Overwriting a file in place: its data ranges (SEEK_DATA, SEEK_HOLE) and writes at them.
    off_t (*lseek)(int fd, off_t offset, int whence);
    ssize_t (*pwrite)(int fd, const void* buf, size_t count, off_t offset);
    // A claim file's few bytes, read without moving the offset.
    ssize_t (*pread)(int fd, void* buf, size_t count, off_t offset);
    int (*fstat)(int fd, struct stat* st);
    int (*fstatat)(int dirfd, const char* path, struct stat* st, int flags);
    int (*fsync)(int fd);
    int (*fdatasync)(int fd);
    int (*syncfs)(int fd);
    int (*fchown)(int fd, uid_t uid, gid_t gid);
    int (*fchmod)(int fd, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    int (*utimensat)(int dirfd, const char* path, const struct timespec times[2], int flags);
    int (*linkat)(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags);
    int (*renameat2)(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                     unsigned flags);
    int (*unlinkat)(int dirfd, const char* path, int flags);
    // Only a hint to start or wait for writeback; durability still comes from fsync.
    int (*sync_file_range)(int fd, off_t offset, off_t nbytes, unsigned flags);
    // Only a hint on how a large original will be read.
    int (*posix_fadvise)(int fd, off_t offset, off_t len, int advice);
    // Leases only: F_SETLEASE and F_GETLEASE.
    int (*fcntl)(int fd, int cmd, int arg);
    // Whole-folder locks between runs.
    int (*flock)(int fd, int operation);
    // A folder's entries, read in large batches.
    ssize_t (*getdents64)(int fd, void* buf, size_t count);
    // The longest name a folder takes (_PC_NAME_MAX).
    long (*fpathconf)(int fd, int name);
};

// The table in use: the real calls unless a test has put its own in place.
const FileCalls& Sys();
const FileCalls& RealFileCalls();
// nullptr restores the real calls.
void SetFileCalls(const FileCalls* calls);

}  // namespace kolvik::posix
