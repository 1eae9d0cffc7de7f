#pragma once
// A file-call table that counts the calls that change a disk, and makes the n-th call of one
// kind, or the n-th of them all, fail with a chosen error.
#include <cerrno>
#include <string>

#include "platform/posix/FileCalls.h"

namespace kolvik::test {

enum class Call { Create, Write, Fsync, Syncfs, Fchmod, Futimens, Link, Rename, Unlink, Count };

struct FaultPlan {
    Call kind = Call::Count;  // Count: whatever kind the call is
    int failAt = 0;           // 1-based among the calls of kind; 0 never
    int error = EIO;
    int seen[static_cast<int>(Call::Count)] = {};
    int total = 0;
    Call firedAt = Call::Count;
    bool fired = false;
    bool tmpfileUnsupported = false;  // as on a file system without O_TMPFILE
    // Syncs succeed at once: a sweep of thousands of runs checks what a failure leaves, not
    // what reaches the platters.
    bool syncsFree = false;
};

// Installs the counting table for as long as it lives.
class FaultInjection {
public:
    explicit FaultInjection(FaultPlan& plan);
    ~FaultInjection();
    FaultInjection(const FaultInjection&) = delete;
    FaultInjection& operator=(const FaultInjection&) = delete;
};

}  // namespace kolvik::test
