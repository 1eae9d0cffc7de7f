#include "FaultCalls.h"

#include <mutex>

namespace kolvik::test {
namespace {

FaultPlan* gPlan = nullptr;
std::mutex gCounting;  // originals are deleted from several threads at once
const posix::FileCalls& Real() { return posix::RealFileCalls(); }

// True when this call is the one to fail; errno is then set.
bool Fail(Call kind) {
    const std::lock_guard<std::mutex> lock(gCounting);
    if (gPlan == nullptr) return false;
    const int ofKind = ++gPlan->seen[static_cast<int>(kind)];
    const int ofAll = ++gPlan->total;
    const bool anyKind = gPlan->kind == Call::Count;
    if ((anyKind ? ofAll : ofKind) != gPlan->failAt || (!anyKind && kind != gPlan->kind)) return false;
    gPlan->fired = true;
    gPlan->firedAt = kind;
    errno = gPlan->error;
    return true;
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    const bool tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
    if (tmpfile && gPlan && gPlan->tmpfileUnsupported) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if ((tmpfile || (flags & O_CREAT)) && Fail(Call::Create)) return -1;
    return Real().openat(dirfd, path, flags, mode);
}
ssize_t Write(int fd, const void* buf, size_t n) { return Fail(Call::Write) ? -1 : Real().write(fd, buf, n); }
int Fsync(int fd) { return Fail(Call::Fsync) ? -1 : gPlan && gPlan->syncsFree ? 0 : Real().fsync(fd); }
int Syncfs(int fd) { return Fail(Call::Syncfs) ? -1 : gPlan && gPlan->syncsFree ? 0 : Real().syncfs(fd); }
int Fchmod(int fd, mode_t m) { return Fail(Call::Fchmod) ? -1 : Real().fchmod(fd, m); }
int Futimens(int fd, const struct timespec t[2]) { return Fail(Call::Futimens) ? -1 : Real().futimens(fd, t); }
int LinkAt(int a, const char* b, int c, const char* d, int e) { return Fail(Call::Link) ? -1 : Real().linkat(a, b, c, d, e); }
int Rename2(int a, const char* b, int c, const char* d, unsigned e) {
    return Fail(Call::Rename) ? -1 : Real().renameat2(a, b, c, d, e);
}
int UnlinkAt(int a, const char* b, int c) { return Fail(Call::Unlink) ? -1 : Real().unlinkat(a, b, c); }

const posix::FileCalls kCounting{OpenAt,  ::close,  ::read,  Write,    ::fstat, ::fstatat, Fsync,
                                 Syncfs,  ::fchown, Fchmod,  Futimens, LinkAt,  Rename2,   UnlinkAt,
                                 ::sync_file_range};

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
