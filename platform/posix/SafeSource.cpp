// SPDX-License-Identifier: GPL-3.0-or-later
// A POSIX source: an original, read under a read lease, or an earlier run's copy, read as it is.
// Every call on a file goes through the FileCalls table, where the fault tests reach it; only
// the read-ahead hint, which changes nothing, goes to the system directly.
#include <cerrno>
#include <string>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/posix/Faults.h"
#include "platform/posix/KeptFacts.h"
#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

constexpr off_t kLargeFile = off_t{4} << 20;

}  // namespace

void Source::Close() {
    if (leased_) MarkLeased(handle_, false);
    CloseHandle(handle_);
    leased_ = false;
}

Fault Source::Open(const Folder& folder, const std::string& name, FileFacts& facts, bool lease) {
    Close();
    handle_ = Sys().openat(folder.Handle(), name.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (handle_ < 0) return LastFault();
    struct stat st {};
    if (Sys().fstat(handle_, &st) != 0) {
        const Fault f = LastFault();
        Close();
        return f;
    }
    FileFacts now;
    FillFacts(st, now);
    if (!OpenedAsDescribed(now, facts)) {
        Close();
        return Fault::NotRegular;
    }
    facts = std::move(now);
    facts.extras = kept::Read(handle_);
    fixed_ = facts.extras != nullptr && facts.extras->fixed;
    position_ = 0;
    // Where the size is the file system's own record, reading stops there rather than asking
    // once more for the end; some FUSE and network file systems report sizes that lag.
    size_ = st.st_size > 0 && !folder.MayHoldClaims() ? st.st_size : -1;
    if (lease) {
        if (const Fault f = TakeLease(); f != Fault::None) return f;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    // Worth a call only where read-ahead has room to grow.
    if (st.st_size >= kLargeFile) Sys().posix_fadvise(handle_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return Fault::None;
}

Fault Source::TakeLease() {
    if (handle_ < 0 || leased_) return Fault::None;
    // Past the bitmap no break could be heard.
    if (handle_ >= kLeaseSlots) {
        Close();
        return Fault::Unguarded;
    }
    InstallLeaseBreakHandler();
    // Marked first, so that a break that comes right after the lease is never missed.
    MarkLeased(handle_, true);
    if (Sys().fcntl(handle_, F_SETLEASE, F_RDLCK) == 0) {
        leased_ = true;
        // Told here, before any copy exists: an append-only or immutable file refuses its
        // deletion only once the copy is named. The flags were read when it was opened.
        if (fixed_) {
            Close();
            return Fault::Undeletable;
        }
        return Fault::None;
    }
    const int error = errno;
    MarkLeased(handle_, false);
    Close();
    // Open for writing elsewhere: whatever that program writes next would be lost. Without a
    // lease at all (not the owner, a file system without leases) a writer that opens the file
    // now and writes after the deletion would be lost just as silently.
    return error == EAGAIN ? Fault::InUse : Fault::Unguarded;
}

Fault Source::Read(void* buf, std::size_t size, std::size_t& got) {
    got = 0;
    auto* out = static_cast<char*>(buf);
    while (got < size && (size_ < 0 || position_ < size_)) {
        const ssize_t n = Sys().read(handle_, out + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastFault();
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        position_ += n;
    }
    return Fault::None;
}

Fault Source::Seek(std::int64_t offset) {
    if (Sys().lseek(handle_, static_cast<off_t>(offset), SEEK_SET) != offset) return LastFault();
    position_ = offset;
    return Fault::None;
}

Fault Source::Sync() { return Sys().fsync(handle_) == 0 ? Fault::None : LastFault(); }

bool Source::LeaseHeld() const {
    return leased_ && handle_ >= 0 && Sys().fcntl(handle_, F_GETLEASE, 0) == F_RDLCK;
}

}  // namespace kolvik::safefile
