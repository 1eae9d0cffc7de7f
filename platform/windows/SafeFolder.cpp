// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows folder: opened by handle below the target, asked about its entries and its file
// system. Every call on a file goes through the FileCalls table; the volume's name limit is
// asked of the system directly.
//
// Folders below the target are opened with NtCreateFile relative to their parent's handle
// (FILE_OPEN_REPARSE_POINT, so a junction or link is opened as itself and then refused), never
// again by a path: a folder swapped for a junction during the run cannot lead the run outside
// the tree, and no path length limits the depth. CreateFileW with the full path would look the
// whole path up again for every folder, and a junction above it would be followed. Only the
// target is opened by its path, in the \\?\ form that lifts the 260-character limit.
#include <string>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/windows/SafeFileParts.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {

using windows::Sys;

Folder::~Folder() { Close(); }

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

Fault Folder::Open(const std::string& path) {
    Close();
    // The target itself may be reached through a link or junction, as its path says.
    handle_ = Sys().openPath(windows::LongPath(path).c_str(), kFolderAccess | SYNCHRONIZE,
                             kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    if (handle_ == nullptr) return LastFault();
    return Opened(path);
}

Fault Folder::OpenChild(const Folder& parent, const std::string& name) {
    Close();
    handle_ = OpenEntry(parent.Handle(), name, kFolderAccess, kShareAll, FILE_DIRECTORY_FILE);
    if (handle_ == nullptr) {
        handle_ = kNoHandle;
        return LastFault();
    }
    std::string path = parent.Path();
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '\\';
    return Opened(path + name);
}

Fault Folder::Opened(std::string path) {
    FileFacts facts;
    Fault f = FactsOf(handle_, facts);
    // Opened as itself, a junction or directory link shows as a reparse point: never entered.
    if (f == Fault::None && !facts.directory) f = facts.regular ? Fault::NotFound : Fault::IsLink;
    if (f != Fault::None) {
        CloseHandle(handle_);
        return f;
    }
    device_ = facts.device;
    path_ = std::move(path);
    return Fault::None;
}

void Folder::Close() {
    CloseHandle(handle_);
    path_.clear();
    nameMax_ = 0;
    claims_ = -1;
}

Fault Folder::Stat(const std::string& name, FileFacts& facts) const {
    // Attributes only: this open is allowed even while a writer excludes everyone else.
    HANDLE h = OpenEntry(handle_, name, FILE_READ_ATTRIBUTES, kShareAll);
    if (h == nullptr) return LastFault();
    const Fault f = FactsOf(h, facts);
    Sys().close(h);
    return f;
}

bool Folder::Exists(const std::string& name) const {
    FileFacts facts;
    const Fault f = Stat(name, facts);
    // Anything but a clear "no such entry" counts as taken: never risk a name we cannot see.
    return f != Fault::NotFound;
}

std::size_t Folder::MaxNameBytes() const {
    if (nameMax_ == 0) {
        DWORD component = 0;
        if (!::GetVolumeInformationByHandleW(handle_, nullptr, 0, nullptr, &component, nullptr,
                                             nullptr, 0) ||
            component == 0) {
            component = 255;
        }
        // The limit counts UTF-16 units; a name's UTF-8 bytes are at most three per unit. A
        // name within this that is still too long fails when created, as NameTooLong.
        nameMax_ = std::size_t{component} * 3;
    }
    return nameMax_;
}

// A rename through the handle never replaces, so no name has to be claimed first.
bool Folder::MayHoldClaims() const { return false; }

// NTFS, FAT and exFAT write over a file's clusters in place; ReFS does so too unless integrity
// streams are on, which Windows gives no cheap way to ask.
std::string_view Folder::KeepsOldBlocks() const { return {}; }

// A network share keeps the sharing mode a file is opened with on the server.
std::string_view Folder::SharedWith() const { return {}; }

// Every copy is flushed before it is named, and NTFS writes its journal in order: once the
// deletion of an original is on disk, the renaming of its copy before it is too. Windows has
// no call that flushes one folder's entries for a user without write access to the volume.
Fault Folder::Sync() const { return Fault::None; }
Fault Folder::SyncFileSystem() const { return Fault::None; }

Fault Folder::Remove(const std::string& name, std::uint64_t inode) const {
    return RemoveIfSame(handle_, name, inode, nullptr);
}

}  // namespace kolvik::safefile
