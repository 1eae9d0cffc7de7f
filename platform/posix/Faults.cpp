// SPDX-License-Identifier: GPL-3.0-or-later
// What an errno means to the file layer.
#include "platform/posix/Faults.h"

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

}  // namespace kolvik::safefile
