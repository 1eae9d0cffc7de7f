// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/MetaCalls.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace kolvik::posix {
namespace {

// The kernel reads and writes an int, whatever the ioctl's name says.
int GetFlags(int fd, unsigned* flags) {
    int value = 0;
    const int result = ::ioctl(fd, FS_IOC_GETFLAGS, &value);
    if (result == 0) *flags = static_cast<unsigned>(value);
    return result;
}

int SetFlags(int fd, unsigned flags) {
    int value = static_cast<int>(flags);
    return ::ioctl(fd, FS_IOC_SETFLAGS, &value);
}

int MountId(int fd, std::uint64_t* id) {
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0) return -1;
    // Kernels before 5.8 leave the field out; the caller then goes by the device alone.
    if ((stx.stx_mask & STATX_MNT_ID) == 0) return -1;
    *id = stx.stx_mnt_id;
    return 0;
}

const MetaCalls kReal{::flistxattr, ::fgetxattr, ::fsetxattr, ::fremovexattr,
                      GetFlags,     SetFlags,    ::fstatfs,   MountId};
const MetaCalls* gActive = &kReal;

}  // namespace

const MetaCalls& Meta() { return *gActive; }
const MetaCalls& RealMetaCalls() { return kReal; }
void SetMetaCalls(const MetaCalls* calls) { gActive = calls ? calls : &kReal; }

}  // namespace kolvik::posix
