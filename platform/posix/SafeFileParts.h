// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parts of the POSIX file layer share: a file's status as FileFacts, its descriptor,
// the process's set-up for many open files, and the leases' bitmap.
#include <sys/stat.h>

#include <ctime>

#include "platform/SafeFile.h"
#include "platform/posix/FileCalls.h"

namespace kolvik::safefile {

void FillFacts(const struct stat& st, FileFacts& facts);
// A time to stamp a copy with: the very value where it is known, t otherwise.
timespec Exact(const FileFacts::ExactTime& exact, WallClock::time_point t);

inline void CloseHandle(int& handle) {
    if (handle >= 0) posix::Sys().close(handle);
    handle = -1;
}

void RaiseOpenFileLimit();
bool RoomToKeepCopiesOpen();
// The owner and group a file created now gets, unless its folder says otherwise.
struct Creator {
    unsigned user = 0, group = 0;
};
const Creator& ThisCreator();
// The bits a file created now loses to the process's umask; -1 where the system does not say.
int ThisUmask();

inline constexpr int kLeaseSlots = 65536;  // descriptors above it get no lease
// Marks fd as leased, or no longer, for the handler of lease breaks.
void MarkLeased(int fd, bool leased);
void InstallLeaseBreakHandler();

}  // namespace kolvik::safefile
