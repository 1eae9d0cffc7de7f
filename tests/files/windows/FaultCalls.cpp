// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultCalls.h"

#include "platform/windows/FileCalls.h"
// winternl.h needs the types of windows.h, which FileCalls.h brings.
#include <winternl.h>

#include <mutex>

namespace kolvik::test {
namespace {

using windows::FileCalls;

FaultPlan* gPlan = nullptr;
std::mutex gCounting;
const FileCalls& real = windows::RealFileCalls();

DWORD WindowsError(int error) {
    switch (error) {
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EACCES:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_IO_DEVICE;
    }
}

// True when this call is the one to fail; the last error is then set.
bool Fail(Call kind) {
    const std::lock_guard<std::mutex> lock(gCounting);
    const int ofKind = ++gPlan->seen[static_cast<int>(kind)];
    const int ofAll = ++gPlan->total;
    const int n = gPlan->kind == Call::Count ? ofAll : kind == gPlan->kind ? ofKind : 0;
    if (n == 0 || gPlan->failAt == 0 || n < gPlan->failAt) return false;
    if (n > gPlan->failAt && !gPlan->failOnward) return false;
    gPlan->firedAt = kind;
    ::SetLastError(WindowsError(gPlan->error));
    return true;
}

Call KindOf(FILE_INFO_BY_HANDLE_CLASS info) {
    switch (info) {
        case FileBasicInfo:
            return Call::Fchmod;
        case FileDispositionInfo:
            return Call::Unlink;
        default:
            return Call::Count;
    }
}

const FileCalls kCounting = [] {
    FileCalls c = real;
    c.openAt = [](HANDLE dir, const wchar_t* name, DWORD access, DWORD share, DWORD disposition,
                  DWORD options) -> HANDLE {
        if (disposition == FILE_CREATE && Fail(Call::Create)) return nullptr;
        return real.openAt(dir, name, access, share, disposition, options);
    };
    c.write = [](HANDLE h, const void* buf, DWORD size, DWORD* written) -> BOOL {
        return !Fail(Call::Write) && real.write(h, buf, size, written);
    };
    c.flush = [](HANDLE h) -> BOOL {
        if (Fail(Call::Fsync)) return FALSE;
        return gPlan->syncsFree || real.flush(h);
    };
    c.setTimes = [](HANDLE h, const FILETIME* created, const FILETIME* accessed,
                    const FILETIME* written) -> BOOL {
        return !Fail(Call::Futimens) && real.setTimes(h, created, accessed, written);
    };
    c.setInfo = [](HANDLE h, FILE_INFO_BY_HANDLE_CLASS kind, void* buf, DWORD size) -> BOOL {
        const Call call = KindOf(kind);
        if (call != Call::Count && Fail(call)) return FALSE;
        return real.setInfo(h, kind, buf, size);
    };
    c.rename = [](HANDLE h, HANDLE dir, const wchar_t* name) -> BOOL {
        return !Fail(Call::Rename) && real.rename(h, dir, name);
    };
    return c;
}();

}  // namespace

FaultInjection::FaultInjection(FaultPlan& plan) {
    gPlan = &plan;
    windows::SetFileCalls(&kCounting);
}

FaultInjection::~FaultInjection() {
    windows::SetFileCalls(nullptr);
    gPlan = nullptr;
}

}  // namespace kolvik::test
