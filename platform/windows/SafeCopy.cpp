// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows copy: written under a scratch name, held without sharing, given its original's times
// and attributes, and renamed through its handle without ever replacing a file. Every call goes
// through the FileCalls table.
#include <algorithm>
#include <string>

#include "platform/SafeFile.h"
#include "platform/windows/SafeFileParts.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {

using windows::Sys;

Fault Copy::Create(const Folder& folder, const std::string& newName, std::uint32_t) {
    Discard();
    folder_ = &folder;
    written_ = started_ = waited_ = 0;
    inode_ = 0;
    // A scratch name that is unmistakably ours, created exclusively so that an existing file is
    // never opened, and held without sharing, so that a later run sees it is still in use.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = NextScratchName();
        if (name == newName) continue;
        HANDLE h = Sys().openAt(folder.Handle(), windows::Wide(name).c_str(),
                                GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                                FILE_NON_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT);
        if (h != nullptr) {
            handle_ = h;
            tempName_ = name;
            return Fault::None;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return LastFault();
        }
    }
    return Fault::Exists;
}

Fault Copy::Write(const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, 1U << 30));
        DWORD n = 0;
        if (!Sys().write(handle_, in, ask, &n)) return LastFault();
        in += n;
        size -= n;
        written_ += n;
    }
    return Fault::None;
}

// Windows writes back on its own; the one flush before naming makes the copy durable.
void Copy::StartWriteback() {}

Fault Copy::Publish(const std::string& newName, const FileFacts& like, bool durable) {
    (void)durable;  // always: there is no cheaper sync of many files to wait for instead
    const auto& sys = Sys();
    const FILETIME created = ToFileTime(like.created), accessed = ToFileTime(like.accessed),
                   modified = ToFileTime(like.modified);
    const bool knowsCreated = like.created != WallClock::time_point{};
    if (!sys.setTimes(handle_, knowsCreated ? &created : nullptr, &accessed, &modified)) {
        return LastFault();
    }
    // Zero times leave them as they are; the attributes take the original's (never zero), all
    // but read-only: until the original is gone the copy is ours to take away again, and a
    // read-only scratch file would outlive every cleanup. CompletePending adds it.
    FILE_BASIC_INFO basic{};
    const DWORD attributes = like.mode & ~DWORD{FILE_ATTRIBUTE_READONLY};
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!sys.setInfo(handle_, FileBasicInfo, &basic, sizeof basic)) return LastFault();
    if (!sys.flush(handle_)) return LastFault();
    // Kept open without sharing until its original is deleted: nobody can change, rename or
    // delete it meanwhile, and should it have to go, it goes through this handle.
    return RenameScratch(newName);
}

std::uint64_t Copy::Inode() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (inode_ == 0 && handle_ != kNoHandle && Sys().info(handle_, &info)) {
        inode_ = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    }
    return inode_;
}

// Unnamed files do not exist here.
Fault Copy::LinkUnnamed(const std::string&) { return Fault::Io; }

Fault Copy::RenameScratch(const std::string& newName) {
    // Renamed through its handle within the folder's handle, never replacing: a file that took
    // the name meanwhile stays, and the copy with it.
    if (!Sys().rename(handle_, folder_->Handle(), windows::Wide(newName).c_str())) {
        return LastFault();
    }
    tempName_.clear();
    return Fault::None;
}

void Copy::Wipe() {
    if (wipe_ && written_ > 0 && handle_ != kNoHandle && !tempName_.empty())
        (void)ZeroHandle(handle_, written_);
}

void Copy::Discard() {
    Wipe();
    // An unpublished copy goes through its own handle: no other file can be hit by the name.
    if (handle_ != kNoHandle && !tempName_.empty()) (void)DeleteByHandle(handle_);
    CloseHandle(handle_);
    tempName_.clear();
}

}  // namespace kolvik::safefile
