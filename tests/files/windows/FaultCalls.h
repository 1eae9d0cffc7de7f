// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file-call table that counts the calls that change a disk and makes the n-th call of one
// kind (or of all, or every one from there on) fail, as tests/files/posix/FaultCalls.h does
// for the POSIX layer. Errors are given as errno values and handed to the layer as the Windows
// error codes a disk answers with.
#include <cerrno>
#include <cstdint>
#include <functional>

#include "FaultCore.h"

namespace kolvik::test {

// Create: a file created exclusively; Fsync: FlushFileBuffers; Fchmod: the attributes;
// Futimens: the times; Rename: a rename through the handle; Unlink: a deletion through it.
// Windows has no calls of the kinds Syncfs and Link: they are never counted here.

struct FaultPlan {
    Call kind = Call::Count;  // Count: whatever kind the call is
    int failAt = 0;           // 1-based among the calls of kind; 0 never
    int error = EIO;          // ENOSPC, EACCES, EINVAL or EIO
    bool failOnward = false;  // every call from failAt on fails, as on a disk that stays full
    int seen[static_cast<int>(Call::Count)] = {};
    int total = 0;
    Call firedAt = Call::Count;  // Count: none failed
    bool syncsFree = false;      // flushes succeed at once: a sweep checks what a failure leaves
    // Oplocks, which Wine never grants: granted to every request, and broken, as another
    // program's open breaks them, at the n-th read (0: never) or at the first rename.
    bool grantOplocks = false;
    int breakOplocksAtRead = 0;
    bool breakOplocksAtRename = false;
    int oplocksGranted = 0;
    // The creation time last given to a file (100 ns steps from 1601), which Wine accepts and
    // forgets; 0 when none was given.
    unsigned long long createdGiven = 0;
    int reads = 0;
    // Bytes written with nothing but zeros (a file overwritten in place), and all others.
    long long overwritten = 0, written = 0;
    // Where another program steps in: before the layer looks at a name for its facts alone (an
    // open for its attributes, as fstatat on POSIX), and after a read that reached the end of
    // the file open as handle.
    std::function<void(const char* name)> statting{};
    std::function<void(std::intptr_t handle)> readToEnd{};
    int Seen(Call c) const { return seen[static_cast<int>(c)]; }
};

}  // namespace kolvik::test
