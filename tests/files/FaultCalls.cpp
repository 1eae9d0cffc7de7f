#include "FaultCalls.h"

#include <cstdio>  // RENAME_NOREPLACE
#include <mutex>

namespace kolvik::test {
namespace {

using posix::FileCalls;

FaultPlan* gPlan = nullptr;
std::mutex gCounting;  // originals are deleted from several threads at once
const FileCalls& real = posix::RealFileCalls();

// True when this call is the one to fail; errno is then set.
bool Fail(Call kind) {
    const std::lock_guard<std::mutex> lock(gCounting);
    if (gPlan == nullptr) return false;
    const int ofKind = ++gPlan->seen[static_cast<int>(kind)];
    const int ofAll = ++gPlan->total;
    const int n = gPlan->kind == Call::Count ? ofAll : kind == gPlan->kind ? ofKind : 0;
    if (n == 0 || gPlan->failAt == 0 || n < gPlan->failAt) return false;
    if (n > gPlan->failAt && !gPlan->failOnward) return false;
    gPlan->firedAt = kind;
    errno = gPlan->error;
    return true;
}

// The real call, unless it is the one to fail or a sync the plan lets pass at once.
template <Call kind, auto call, typename... Args>
auto Counted(Args... args) -> decltype((real.*call)(args...)) {
    if (Fail(kind)) return -1;
    const bool sync = kind == Call::Fsync || kind == Call::Syncfs;
    return sync && gPlan && gPlan->syncsFree ? 0 : (real.*call)(args...);
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    const bool tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
    if (tmpfile && gPlan && gPlan->tmpfileUnsupported) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if ((tmpfile || (flags & O_CREAT)) && Fail(Call::Create)) return -1;
    return real.openat(dirfd, path, flags, mode);
}

int LinkAt(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    if (gPlan && gPlan->hardLinksUnsupported) {
        errno = EPERM;
        return -1;
    }
    return Counted<Call::Link, &FileCalls::linkat>(olddirfd, oldpath, newdirfd, newpath, flags);
}

int RenameAt2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned flags) {
    if ((flags & RENAME_NOREPLACE) != 0 && gPlan && gPlan->noReplaceUnsupported) {
        errno = EINVAL;
        return -1;
    }
    return Counted<Call::Rename, &FileCalls::renameat2>(olddirfd, oldpath, newdirfd, newpath,
                                                        flags);
}

// The real table, with the calls that change a disk counted.
const FileCalls kCounting = [] {
    FileCalls c = real;
    c.openat = OpenAt;
    c.write = Counted<Call::Write, &FileCalls::write>;
    c.fsync = Counted<Call::Fsync, &FileCalls::fsync>;
    c.syncfs = Counted<Call::Syncfs, &FileCalls::syncfs>;
    c.fchmod = Counted<Call::Fchmod, &FileCalls::fchmod>;
    c.futimens = Counted<Call::Futimens, &FileCalls::futimens>;
    c.utimensat = Counted<Call::Futimens, &FileCalls::utimensat>;
    c.linkat = LinkAt;
    c.renameat2 = RenameAt2;
    c.unlinkat = Counted<Call::Unlink, &FileCalls::unlinkat>;
    return c;
}();

}  // namespace

FaultInjection::FaultInjection(FaultPlan& plan) {
    gPlan = &plan;
    posix::SetFileCalls(&kCounting);
}

FaultInjection::~FaultInjection() {
    posix::SetFileCalls(nullptr);
    gPlan = nullptr;
}

}  // namespace kolvik::test
