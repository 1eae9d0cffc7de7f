#pragma once
// A file-call table that counts the calls that change a disk, and makes the n-th call of one
// kind fail with a chosen error.
#include <cerrno>
#include <string>

#include "platform/posix/FileCalls.h"

namespace kolvik::test {

enum class Call { Create, Write, Fsync, Syncfs, Fchmod, Futimens, Link, Rename, Unlink, Count };

struct FaultPlan {
    Call kind = Call::Count;
    int failAt = 0;  // 1-based; 0 never
    int error = EIO;
    int seen[static_cast<int>(Call::Count)] = {};
    bool fired = false;
    bool tmpfileUnsupported = false;  // as on a file system without O_TMPFILE
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
