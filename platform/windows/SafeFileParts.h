// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parts of the Windows file layer share: a file's facts and deletion through its
// handle, the oplocks of leased sources, and the names of scratch files.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// winternl.h needs the types of windows.h.
#include <winternl.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/SafeFile.h"
#include "platform/windows/FileCalls.h"

namespace kolvik::safefile {

[[nodiscard]] Fault FromError(DWORD e);
[[nodiscard]] inline Fault LastFault() { return FromError(::GetLastError()); }

// The attributes a copy takes over from its original; the rest belong to the file system
// (compression, sparse, encryption) or to the file's kind.
inline constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                         FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FILETIME ToFileTime(WallClock::time_point t);
[[nodiscard]] Fault FactsOf(HANDLE h, FileFacts& facts);

inline void CloseHandle(NativeHandle& handle) {
    if (handle != kNoHandle) windows::Sys().close(handle);
    handle = kNoHandle;
}

// An entry of the folder dir, opened as itself (never through a reparse point).
HANDLE OpenEntry(HANDLE dir, const std::string& name, DWORD access, DWORD share, DWORD options = 0);
// Sets the attributes of the file behind h, its times as they are.
bool SetAttributes(HANDLE h, DWORD attributes);
// Deletes the file behind h when it is closed; nobody can give it that name again meanwhile.
[[nodiscard]] Fault DeleteByHandle(HANDLE h);
// Whether the file behind h is still the one facts describe, unchanged: Fault::Changed if not.
[[nodiscard]] Fault StillAsRead(HANDLE h, const FileFacts& facts);
// Opens name for deletion and deletes it only while it is still the file described by inode.
[[nodiscard]] Fault RemoveIfSame(HANDLE dir, const std::string& name, std::uint64_t inode,
                                 const FileFacts* unchanged);
// Writes zeros over the first size bytes of the file behind h and flushes them to the disk.
[[nodiscard]] Fault ZeroHandle(HANDLE h, std::int64_t size);

// The oplock of a leased source, by the source's handle.
struct OplockWatch {
    windows::OplockRequest request;
    HANDLE handle = nullptr;
};
void Watch(HANDLE file);
// Whether another program asked for the file meanwhile.
bool Broken(HANDLE file);
// Taken out before the source's handle is closed, whose value another open may get at once.
std::unique_ptr<OplockWatch> Unwatched(HANDLE file);
// Gives the oplock up; the source's own handle, should it still be open, keeps writers out.
void Release(std::unique_ptr<OplockWatch> watch);

// ".kolvik-tijdel-PID-N", a name no other run of ours gives out at the same time.
std::string NextScratchName();
// Whether name is of that form; any other name is the user's.
bool IsScratchName(const std::string& name);

}  // namespace kolvik::safefile
