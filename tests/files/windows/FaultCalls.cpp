// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultCalls.h"

#include "platform/windows/FileCalls.h"
#include "platform/windows/Utf16.h"
// winternl.h needs the types of windows.h, which FileCalls.h brings.
#include <winternl.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace kolvik::test {
namespace {

using windows::FileCalls;

FaultPlan* gPlan = nullptr;
std::mutex gCounting;
const FileCalls& real = windows::RealFileCalls();

DWORD WindowsError(int error) {
    return error == ENOSPC   ? ERROR_DISK_FULL
           : error == EACCES ? ERROR_ACCESS_DENIED
           : error == EINVAL ? ERROR_INVALID_PARAMETER
                             : ERROR_IO_DEVICE;
}

// True when this call is the one to fail; the last error is then set.
bool Fail(Call kind) {
    return CountCall(*gPlan, kind, [](int error) { ::SetLastError(WindowsError(error)); });
}

Call KindOf(FILE_INFO_BY_HANDLE_CLASS info) {
    if (info == FileBasicInfo) return Call::Fchmod;
    if (info == FileDispositionInfo || info == windows::kDispositionInfoEx) return Call::Unlink;
    return Call::Count;
}

// The granted oplocks: their stand-in handles and the events that tell of a break.
std::map<HANDLE, HANDLE> gOplocks;

void BreakOplocks() {
    const std::lock_guard<std::mutex> lock(gCounting);
    for (const auto& [handle, event] : gOplocks) ::SetEvent(event);
}

const FileCalls kCounting = [] {
    FileCalls c = real;
    c.oplock = [](HANDLE file, windows::OplockRequest* request) -> HANDLE {
        if (!gPlan->grantOplocks) return real.oplock(file, request);
        HANDLE standIn = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        const std::lock_guard<std::mutex> lock(gCounting);
        gOplocks[standIn] = request->overlapped.hEvent;
        ++gPlan->oplocksGranted;
        return standIn;
    };
    c.close = [](HANDLE h) -> BOOL {
        {
            // Closing the oplock's handle completes its request.
            const std::lock_guard<std::mutex> lock(gCounting);
            if (const auto it = gOplocks.find(h); it != gOplocks.end()) {
                ::SetEvent(it->second);
                gOplocks.erase(it);
            }
        }
        return real.close(h);
    };
    c.read = [](HANDLE h, void* buf, DWORD size, DWORD* got) -> BOOL {
        if (++gPlan->reads == gPlan->breakOplocksAtRead) BreakOplocks();
        if (!real.read(h, buf, size, got)) return FALSE;
        if (size == 0 || !gPlan->readToEnd) return TRUE;
        // The layer reads no further than the size it knows: reaching it is the end too.
        LARGE_INTEGER at{}, length{};
        const bool end =
            *got == 0 || (::SetFilePointerEx(h, LARGE_INTEGER{}, &at, FILE_CURRENT) &&
                          ::GetFileSizeEx(h, &length) && at.QuadPart >= length.QuadPart);
        if (end) gPlan->readToEnd(reinterpret_cast<std::intptr_t>(h));
        return TRUE;
    };
    c.openAt = [](HANDLE dir, const wchar_t* name, DWORD access, DWORD share, DWORD disposition,
                  DWORD options) -> HANDLE {
        if (access == FILE_READ_ATTRIBUTES && disposition == FILE_OPEN && gPlan->statting)
            gPlan->statting(windows::Utf8(name).c_str());
        if (disposition == FILE_CREATE && Fail(Call::Create)) return nullptr;
        return real.openAt(dir, name, access, share, disposition, options);
    };
    c.write = [](HANDLE h, const void* buf, DWORD size, DWORD* written) -> BOOL {
        if (Fail(Call::Write) || !real.write(h, buf, size, written)) return FALSE;
        const auto* bytes = static_cast<const unsigned char*>(buf);
        const bool zeros =
            std::all_of(bytes, bytes + *written, [](unsigned char b) { return b == 0; });
        (zeros ? gPlan->overwritten : gPlan->written) += *written;
        return TRUE;
    };
    c.flush = [](HANDLE h) -> BOOL {
        if (Fail(Call::Fsync)) return FALSE;
        return gPlan->syncsFree || real.flush(h);
    };
    c.setTimes = [](HANDLE h, const FILETIME* created, const FILETIME* accessed,
                    const FILETIME* written) -> BOOL {
        if (created != nullptr) {
            gPlan->createdGiven = (static_cast<unsigned long long>(created->dwHighDateTime) << 32) |
                                  created->dwLowDateTime;
        }
        return !Fail(Call::Futimens) && real.setTimes(h, created, accessed, written);
    };
    c.setInfo = [](HANDLE h, FILE_INFO_BY_HANDLE_CLASS kind, void* buf, DWORD size) -> BOOL {
        const Call call = KindOf(kind);
        if (call != Call::Count && Fail(call)) return FALSE;
        return real.setInfo(h, kind, buf, size);
    };
    c.rename = [](HANDLE h, HANDLE dir, const wchar_t* name) -> BOOL {
        if (gPlan->breakOplocksAtRename) BreakOplocks();
        return !Fail(Call::Rename) && real.rename(h, dir, name);
    };
    return c;
}();

}  // namespace

// The plan is set before the table goes in and cleared after it comes out: no call sees none.
void InstallFaultCalls(FaultPlan* plan) {
    if (plan != nullptr) gPlan = plan;
    windows::SetFileCalls(plan != nullptr ? &kCounting : nullptr);
    gPlan = plan;
}

}  // namespace kolvik::test
