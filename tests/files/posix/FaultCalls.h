// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file-call table that counts the calls that change a disk, makes the n-th call of one kind
// (or of all, or every one from there on) fail with a chosen error, and lets a test step in at
// the exact call where another program acting on the tree would hurt most.
#include <cerrno>
#include <cstdint>
#include <functional>

#include "FaultCore.h"
#include "platform/posix/FileCalls.h"

namespace kolvik::test {

struct FaultPlan {
    Call kind = Call::Count;  // Count: whatever kind the call is
    int failAt = 0;           // 1-based among the calls of kind; 0 never
    int error = EIO;
    bool failOnward = false;  // every call from failAt on fails, as on a disk that stays full
    int seen[static_cast<int>(Call::Count)] = {};
    int total = 0;
    Call firedAt = Call::Count;       // Count: none failed
    bool tmpfileUnsupported = false;  // as on a file system without O_TMPFILE
    // As on exFAT through FUSE: renameat2 with RENAME_NOREPLACE gives EINVAL, linkat EPERM;
    // answered at once and not counted, as the file system answers them every time.
    bool noReplaceUnsupported = false;
    bool hardLinksUnsupported = false;
    bool syncsFree = false;      // syncs succeed at once: a sweep checks what a failure leaves
    bool leasesRefused = false;  // F_SETLEASE fails, as where no lease is granted
    int leaseError = EACCES;     // with it: EACCES not the owner, EAGAIN a writer, EINVAL no leases
    int flockError = 0;          // flock fails with it, as on a file system without flock
    const char* denied = nullptr;  // openat and fstatat of this name in a folder: EACCES
    int leasesGranted = 0;
    std::int64_t written = 0;      // bytes written with write
    std::int64_t overwritten = 0;  // bytes written in place (pwrite), all zeros
    bool overwroteData = false;    // a pwrite of anything but zeros
    std::function<void(const char* name, int flags)> opening{};  // before an openat
    std::function<void(const char* name)> statting{};            // before an fstatat
    std::function<void(int fd)> readToEnd{};  // after a read that reached the end of a file
    int Seen(Call c) const { return seen[static_cast<int>(c)]; }
};

}  // namespace kolvik::test
