// SPDX-License-Identifier: GPL-3.0-or-later
// One run per folder across processes: a lock file in the folder, open without sharing and
// deleted on close, so that a killed run's lock goes with its process.
#include "platform/SafeFile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// winternl.h needs the types of windows.h.
#include <winternl.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "platform/windows/FileCalls.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {
namespace {

using windows::Sys;

using Key = std::tuple<DWORD, DWORD, DWORD>;  // volume, file index high and low

// Shared by every Folder of this process on the same folder, so that a second one (the next
// pass, a single file beside a walk) does not lock itself out.
struct RunLock {
    RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock() {
        if (file != nullptr) Sys().close(file);
    }
    Key key{};
    HANDLE file = nullptr;
    std::uint64_t index = 0;  // of the lock file
};

std::mutex gMutex;
std::map<Key, std::weak_ptr<RunLock>> gLocks;
std::size_t gPurgeAt = 64;

// Folders a walk has left stay in the map as expired entries: cleared now and then, so that a
// tree of many folders does not grow it for ever.
void Remember(const decltype(gLocks)::key_type& key, const std::shared_ptr<RunLock>& lock) {
    gLocks[key] = lock;
    if (gLocks.size() < gPurgeAt) return;
    std::erase_if(gLocks, [](const auto& entry) { return entry.second.expired(); });
    gPurgeAt = 2 * gLocks.size() + 64;
}

}  // namespace

Fault Folder::LockForRun(std::chrono::milliseconds patience) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Sys().info(handle_, &info)) return Fault::Io;
    const Key key{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    // A Folder opened again elsewhere keeps no claim on where it was before.
    if (runLock_ && static_cast<const RunLock*>(runLock_.get())->key == key) return Fault::None;
    runLock_.reset();
    const std::lock_guard<std::mutex> guard(gMutex);
    if (auto held = gLocks[key].lock()) {
        runLock_ = std::move(held);
        return Fault::None;
    }
    auto lock = std::make_shared<RunLock>();
    lock->key = key;
    const std::wstring name = windows::Wide(std::string(kRunLockName));
    const auto deadline = std::chrono::steady_clock::now() + patience;
    // Ours are always empty: one a power cut left is taken over, but a user's file of that
    // name with something in it is never deleted, and the folder is not claimed past it.
    FileFacts slot;
    if (Stat(std::string(kRunLockName), slot) == Fault::None && slot.size != 0) return Fault::Held;
    for (;;) {
        lock->file = Sys().openAt(handle_, name.c_str(), GENERIC_WRITE | DELETE, 0, FILE_OPEN_IF,
                                  FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE);
        if (lock->file != nullptr) break;
        // Where not even the lock file can be made, no copy can be either: the files then
        // fail with their own reason.
        if (::GetLastError() != ERROR_SHARING_VIOLATION) return Fault::None;
        if (std::chrono::steady_clock::now() >= deadline) return Fault::Held;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    BY_HANDLE_FILE_INFORMATION own{};
    if (Sys().info(lock->file, &own))
        lock->index = (std::uint64_t{own.nFileIndexHigh} << 32) | own.nFileIndexLow;
    Remember(key, lock);
    runLock_ = std::move(lock);
    return Fault::None;
}

bool Folder::IsRunLockFile(std::uint64_t inode) const {
    const auto* lock = static_cast<const RunLock*>(runLock_.get());
    return lock != nullptr && lock->file != nullptr && lock->index == inode;
}

}  // namespace kolvik::safefile
