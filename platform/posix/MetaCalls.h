// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calls that read and set what a file carries beside its bytes (extended attributes, ACLs,
// inode flags) and what its file system is, in a table of their own so that a test can refuse
// any of them or stand in for a file system this machine does not have.
#include <sys/types.h>
#include <sys/vfs.h>

#include <cstdint>

namespace kolvik::posix {

struct MetaCalls {
    ssize_t (*flistxattr)(int fd, char* list, size_t size);
    ssize_t (*fgetxattr)(int fd, const char* name, void* value, size_t size);
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
    int (*fremovexattr)(int fd, const char* name);
    // FS_IOC_GETFLAGS and FS_IOC_SETFLAGS: the flags chattr shows.
    int (*getflags)(int fd, unsigned* flags);
    int (*setflags)(int fd, unsigned flags);
    int (*fstatfs)(int fd, struct statfs* fs);
    // The mount an open file lies on: bind mounts of one file system differ here, not in st_dev.
    int (*mountid)(int fd, std::uint64_t* id);
};

const MetaCalls& Meta();
const MetaCalls& RealMetaCalls();
// nullptr restores the real calls.
void SetMetaCalls(const MetaCalls* calls);

}  // namespace kolvik::posix
