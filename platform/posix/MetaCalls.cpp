// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/MetaCalls.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
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

const MetaCalls kReal{::flistxattr, ::fgetxattr, ::fsetxattr, ::fremovexattr,
                      GetFlags,     SetFlags,    ::fstatfs};
const MetaCalls* gActive = &kReal;

}  // namespace

const MetaCalls& Meta() { return *gActive; }
const MetaCalls& RealMetaCalls() { return kReal; }
void SetMetaCalls(const MetaCalls* calls) { gActive = calls ? calls : &kReal; }

}  // namespace kolvik::posix
