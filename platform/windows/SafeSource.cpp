// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows source: an original, read through a handle that refuses writers and under an oplock
// where one is granted, or an earlier run's copy, read as it is. Calls go through the FileCalls
// table; the handle reopened for a flush and the move of the file pointer call the system
// directly.
#include <algorithm>
#include <string>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/windows/SafeFileParts.h"

namespace kolvik::safefile {

using windows::Sys;

void Source::Close() {
    auto watch = leased_ && handle_ != kNoHandle ? Unwatched(handle_) : nullptr;
    // The file first: a writer waiting for the oplock then finds it free.
    CloseHandle(handle_);
    Release(std::move(watch));
    leased_ = false;
}

Fault Source::Open(const Folder& folder, const std::string& name, FileFacts& facts, bool lease) {
    Close();
    // Leased, or opened to be described and perhaps leased later (facts with inode 0), other
    // programs may read it but neither write, rename nor delete it for as long as it is open:
    // it cannot change between this read and its deletion, which goes through this handle.
    // Opening fails with a sharing violation (InUse) while a writer has it. Otherwise (an
    // earlier run's copy, of known facts) it is read as it is, and may be flushed.
    const bool known = facts.inode != 0;
    const bool refuseWriters = lease || !known;
    const DWORD access = refuseWriters ? GENERIC_READ | DELETE : GENERIC_READ;
    const DWORD share = refuseWriters ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    handle_ = OpenEntry(folder.Handle(), name, access, share,
                        FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY);
    if (handle_ == nullptr) {
        handle_ = kNoHandle;
        return LastFault();
    }
    FileFacts now;
    if (const Fault f = FactsOf(handle_, now); f != Fault::None) {
        Close();
        return f;
    }
    if (!OpenedAsDescribed(now, facts)) {
        Close();
        return Fault::NotRegular;
    }
    facts = now;
    position_ = 0;
    size_ = now.size > 0 ? now.size : -1;
    if (lease) return TakeLease();
    return Fault::None;
}

// Only a file opened to be described (facts with inode 0) is leased later, and that open
// already refused writers: it was granted, so no writer has the file.
Fault Source::TakeLease() {
    if (handle_ == kNoHandle || leased_) return Fault::None;
    leased_ = true;
    Watch(handle_);
    return Fault::None;
}

Fault Source::Read(void* buf, std::size_t size, std::size_t& got) {
    got = 0;
    // Another program wants the file: it is given up rather than held against it.
    if (leased_ && Broken(handle_)) return Fault::InUse;
    auto* out = static_cast<char*>(buf);
    while (got < size && (size_ < 0 || position_ < size_)) {
        std::size_t want = std::min<std::size_t>(size - got, 1U << 30);
        if (size_ >= 0)
            want = std::min<std::size_t>(want, static_cast<std::size_t>(size_ - position_));
        DWORD n = 0;
        if (!Sys().read(handle_, out + got, static_cast<DWORD>(want), &n)) return LastFault();
        if (n == 0) break;
        got += n;
        position_ += n;
    }
    return Fault::None;
}

Fault Source::Seek(std::int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (!::SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return LastFault();
    position_ = offset;
    return Fault::None;
}

Fault Source::Sync() {
    // Flushing needs write access, which the reading handle does not have.
    HANDLE writer = ::ReOpenFile(handle_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
    if (writer == INVALID_HANDLE_VALUE) return LastFault();
    const Fault f = Sys().flush(writer) ? Fault::None : LastFault();
    Sys().close(writer);
    return f;
}

// Nobody can open it for writing while it is open here: the share mode is the lease, and an
// oplock tells whether anyone tried.
bool Source::LeaseHeld() const { return leased_ && handle_ != kNoHandle && !Broken(handle_); }

}  // namespace kolvik::safefile
