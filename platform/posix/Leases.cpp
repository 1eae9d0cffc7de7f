// SPDX-License-Identifier: GPL-3.0-or-later
// Hearing the break of a read lease. The signal set-up and the SIGIO handler's own lease release
// call the system directly, outside the FileCalls table: a signal handler may call only what is
// safe there.
#include <fcntl.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

// A writer that opens a leased file waits until the lease is given up. Giving it up at once
// lets the writer go on; the lease is then gone, and the original is kept (LeaseHeld). The
// break comes as a plain SIGIO, which does not say which file: the handler asks every leased
// descriptor, marked in this bitmap, and gives up those whose lease is being broken. That
// spares a call per file to name a signal of its own.
constexpr int kSlotBits = 64;
std::atomic<std::uint64_t> gLeased[kLeaseSlots / kSlotBits];
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "used in a signal handler");

extern "C" void OnLeaseBreak(int) {
    const int saved = errno;
    for (int w = 0; w < kLeaseSlots / kSlotBits; ++w) {
        for (std::uint64_t bits = gLeased[w].load(); bits != 0; bits &= bits - 1) {
            const int fd = w * kSlotBits + __builtin_ctzll(bits);
            // While a break is under way the lease already reads as the type it is broken to.
            if (::fcntl(fd, F_GETLEASE) != F_RDLCK) (void)::fcntl(fd, F_SETLEASE, F_UNLCK);
        }
    }
    errno = saved;
}

}  // namespace

void MarkLeased(int fd, bool leased) {
    const std::uint64_t bit = std::uint64_t{1} << (fd % kSlotBits);
    auto& word = gLeased[fd / kSlotBits];
    if (leased)
        word.fetch_or(bit);
    else
        word.fetch_and(~bit);
}

void InstallLeaseBreakHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = OnLeaseBreak;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        (void)::sigaction(SIGIO, &action, nullptr);
    });
}

}  // namespace kolvik::safefile
