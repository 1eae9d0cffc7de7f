// SPDX-License-Identifier: GPL-3.0-or-later
// The oplocks of leased sources. The oplocks themselves go through the FileCalls table; the
// events they signal are waited for and closed by the system's own calls.
#include <map>
#include <mutex>
#include <utility>

#include "platform/windows/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

using windows::Sys;

// The oplock of each leased source, by the source's handle. An oplock breaks when another
// program opens the file in a way our share mode refuses: that open waits until the oplock
// handle is closed, so the source gives the file up at its next read or at its deletion, and
// the writer gets in. Where none is granted, the share mode alone keeps writers out.
std::mutex gWatchLock;
std::map<HANDLE, std::unique_ptr<OplockWatch>> gWatches;

}  // namespace

void Watch(HANDLE file) {
    auto watch = std::make_unique<OplockWatch>();
    watch->request.overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->request.overlapped.hEvent == nullptr) return;
    watch->handle = Sys().oplock(file, &watch->request);
    if (watch->handle == nullptr) {
        ::CloseHandle(watch->request.overlapped.hEvent);
        return;
    }
    std::unique_ptr<OplockWatch> stale;
    {
        const std::lock_guard<std::mutex> lock(gWatchLock);
        stale = std::exchange(gWatches[file], std::move(watch));
    }
    Release(std::move(stale));
}

bool Broken(HANDLE file) {
    const std::lock_guard<std::mutex> lock(gWatchLock);
    const auto it = gWatches.find(file);
    return it != gWatches.end() &&
           ::WaitForSingleObject(it->second->request.overlapped.hEvent, 0) == WAIT_OBJECT_0;
}

std::unique_ptr<OplockWatch> Unwatched(HANDLE file) {
    const std::lock_guard<std::mutex> lock(gWatchLock);
    const auto it = gWatches.find(file);
    if (it == gWatches.end()) return nullptr;
    auto watch = std::move(it->second);
    gWatches.erase(it);
    return watch;
}

void Release(std::unique_ptr<OplockWatch> watch) {
    if (!watch) return;
    Sys().close(watch->handle);
    // The request completes once its handle is closed; until then the system may still write
    // into it.
    if (::WaitForSingleObject(watch->request.overlapped.hEvent, 10000) != WAIT_OBJECT_0) {
        (void)watch.release();
        return;
    }
    ::CloseHandle(watch->request.overlapped.hEvent);
}

}  // namespace kolvik::safefile
