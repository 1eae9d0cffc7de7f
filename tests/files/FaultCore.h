// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What both systems' fault-injecting file-call tables share: the kinds of call that change a
// disk, the rule for which call fails, and the lifetime of an installed table. Each system's
// FaultCalls.h defines its FaultPlan (these counting fields first, then its own) and
// InstallFaultCalls.
#include <mutex>

namespace kolvik::test {

enum class Call {
    Create,
    Write,
    Fsync,
    Syncfs,
    Fchmod,
    Futimens,
    Link,
    Rename,
    Unlink,
    List,
    Count
};

struct FaultPlan;
// Installs the table that counts into plan, or the real calls again for nullptr.
void InstallFaultCalls(FaultPlan* plan);

// Installs the table for as long as it lives.
struct FaultInjection {
    explicit FaultInjection(FaultPlan& plan) { InstallFaultCalls(&plan); }
    ~FaultInjection() { InstallFaultCalls(nullptr); }
    FaultInjection(const FaultInjection&) = delete;
    FaultInjection& operator=(const FaultInjection&) = delete;
};

// Runs f with the table installed.
template <typename F>
void WithFaults(FaultPlan& plan, F&& f) {
    const FaultInjection at(plan);
    f();
}

// Counts a call of kind; true when it is the one to fail (plan.failAt-th of plan.kind, or of
// all for Call::Count, and every later one with failOnward), after fail has set the system's
// error. Calls come from several threads.
template <typename Plan, typename SetError>
bool CountCall(Plan& plan, Call kind, SetError fail) {
    static std::mutex counting;
    std::unique_lock<std::mutex> lock(counting);
    const int ofKind = ++plan.seen[static_cast<int>(kind)];
    const int ofAll = ++plan.total;
    const int n = plan.kind == Call::Count ? ofAll : kind == plan.kind ? ofKind : 0;
    if (n == 0 || plan.failAt == 0 || n < plan.failAt) return false;
    if (n > plan.failAt && !plan.failOnward) return false;
    plan.firedAt = kind;
    // Last, once the lock is let go: nothing may change the error before the call returns.
    lock.unlock();
    fail(plan.error);
    return true;
}

}  // namespace kolvik::test
