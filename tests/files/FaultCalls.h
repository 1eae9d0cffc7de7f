#pragma once
// A file-call table that counts the calls that change a disk, and makes the n-th call of one
// kind, or the n-th of them all (or every one from there on), fail with a chosen error.
#include <cerrno>

#include "platform/posix/FileCalls.h"

namespace kolvik::test {

enum class Call { Create, Write, Fsync, Syncfs, Fchmod, Futimens, Link, Rename, Unlink, Count };

struct FaultPlan {
    Call kind = Call::Count;  // Count: whatever kind the call is
    int failAt = 0;           // 1-based among the calls of kind; 0 never
    int error = EIO;
    bool failOnward = false;  // every call from failAt on fails, as on a disk that stays full
    int seen[static_cast<int>(Call::Count)] = {};
    int total = 0;
    Call firedAt = Call::Count;       // Count: none failed
    bool tmpfileUnsupported = false;  // as on a file system without O_TMPFILE
    // As on exFAT through FUSE: renameat2 with RENAME_NOREPLACE gives EINVAL, linkat EPERM.
    // Such calls are answered at once and not counted, as the file system answers them every
    // time; what a run does instead is.
    bool noReplaceUnsupported = false;
    bool hardLinksUnsupported = false;
    // Syncs succeed at once: a sweep of thousands of runs checks what a failure leaves, not
    // what reaches the platters.
    bool syncsFree = false;
};

// Installs the counting table for as long as it lives.
struct FaultInjection {
    explicit FaultInjection(FaultPlan& plan);
    ~FaultInjection();
};

}  // namespace kolvik::test
