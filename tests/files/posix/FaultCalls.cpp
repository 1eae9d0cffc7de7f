// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultCalls.h"

#include <algorithm>
#include <cstdio>  // RENAME_NOREPLACE
#include <cstring>

namespace kolvik::test {
namespace {

using posix::FileCalls;

FaultPlan* gPlan = nullptr;
const FileCalls& real = posix::RealFileCalls();

// True when this call is the one to fail; errno is then set.
bool Fail(Call kind) {
    return CountCall(*gPlan, kind, [](int error) { errno = error; });
}

// The real call, unless it is the one to fail or a sync the plan lets pass at once.
template <Call kind, auto call, typename... Args>
auto Counted(Args... args) -> decltype((real.*call)(args...)) {
    if (Fail(kind)) return -1;
    const bool sync = kind == Call::Fsync || kind == Call::Syncfs;
    return sync && gPlan->syncsFree ? 0 : (real.*call)(args...);
}

bool Denied(int dir, const char* path) {
    return gPlan->denied != nullptr && dir != AT_FDCWD && std::strcmp(path, gPlan->denied) == 0;
}

const FileCalls kCounting = [] {
    FileCalls c = real;
    c.openat = [](int dir, const char* path, int flags, mode_t mode) {
        if (gPlan->opening) gPlan->opening(path, flags);
        if (Denied(dir, path)) return errno = EACCES, -1;
        const bool tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
        if (tmpfile && gPlan->tmpfileUnsupported) return errno = EOPNOTSUPP, -1;
        if ((tmpfile || (flags & O_CREAT)) && Fail(Call::Create)) return -1;
        return real.openat(dir, path, flags, mode);
    };
    c.fstatat = [](int dir, const char* path, struct stat* st, int flags) {
        if (gPlan->statting) gPlan->statting(path);
        if (Denied(dir, path)) return errno = EACCES, -1;
        return real.fstatat(dir, path, st, flags);
    };
    c.read = [](int fd, void* buf, size_t count) {
        const ssize_t got = real.read(fd, buf, count);
        if (count == 0 || !gPlan->readToEnd) return got;
        // The end is found by a read that returns nothing, or by one that reaches the size.
        struct stat st {};
        const bool end = got == 0 || (got > 0 && real.fstat(fd, &st) == 0 &&
                                      ::lseek(fd, 0, SEEK_CUR) >= st.st_size);
        if (end) gPlan->readToEnd(fd);
        return got;
    };
    c.write = [](int fd, const void* buf, size_t count) -> ssize_t {
        const ssize_t n = Counted<Call::Write, &FileCalls::write>(fd, buf, count);
        if (n > 0) gPlan->written += n;
        return n;
    };
    c.pwrite = [](int fd, const void* buf, size_t count, off_t offset) -> ssize_t {
        const ssize_t n = Counted<Call::Write, &FileCalls::pwrite>(fd, buf, count, offset);
        const auto* bytes = static_cast<const unsigned char*>(buf);
        if (n > 0) gPlan->overwritten += n;
        if (n > 0 && std::any_of(bytes, bytes + n, [](unsigned char b) { return b != 0; }))
            gPlan->overwroteData = true;
        return n;
    };
    c.fsync = Counted<Call::Fsync, &FileCalls::fsync>;
    c.fdatasync = Counted<Call::Fsync, &FileCalls::fdatasync>;
    c.syncfs = Counted<Call::Syncfs, &FileCalls::syncfs>;
    c.fchmod = Counted<Call::Fchmod, &FileCalls::fchmod>;
    c.futimens = Counted<Call::Futimens, &FileCalls::futimens>;
    c.utimensat = Counted<Call::Futimens, &FileCalls::utimensat>;
    c.linkat = [](int od, const char* op, int nd, const char* np, int flags) {
        if (gPlan->hardLinksUnsupported) return errno = EPERM, -1;
        return Counted<Call::Link, &FileCalls::linkat>(od, op, nd, np, flags);
    };
    c.renameat2 = [](int od, const char* op, int nd, const char* np, unsigned flags) {
        if ((flags & RENAME_NOREPLACE) != 0 && gPlan->noReplaceUnsupported)
            return errno = EINVAL, -1;
        return Counted<Call::Rename, &FileCalls::renameat2>(od, op, nd, np, flags);
    };
    c.unlinkat = Counted<Call::Unlink, &FileCalls::unlinkat>;
    c.getdents64 = Counted<Call::List, &FileCalls::getdents64>;
    c.fcntl = [](int fd, int cmd, int arg) {
        const bool readLease = cmd == F_SETLEASE && arg == F_RDLCK;
        if (readLease && gPlan->leasesRefused) return errno = gPlan->leaseError, -1;
        const int result = real.fcntl(fd, cmd, arg);
        if (readLease && result == 0) ++gPlan->leasesGranted;
        return result;
    };
    c.flock = [](int fd, int operation) {
        if (gPlan->flockError != 0) return errno = gPlan->flockError, -1;
        return real.flock(fd, operation);
    };
    return c;
}();

}  // namespace

// The plan is set before the table goes in and cleared after it comes out: no call sees none.
void InstallFaultCalls(FaultPlan* plan) {
    if (plan != nullptr) gPlan = plan;
    posix::SetFileCalls(plan != nullptr ? &kCounting : nullptr);
    gPlan = plan;
}

}  // namespace kolvik::test
