// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows side of the safe publish sequence; every call goes through the FileCalls table.
//
// Folders below the target are opened with NtCreateFile relative to their parent's handle
// (FILE_OPEN_REPARSE_POINT, so a junction or link is opened as itself and then refused), never
// again by a path: a folder swapped for a junction during the run cannot lead the run outside
// the tree, and no path length limits the depth. CreateFileW with the full path would look the
// whole path up again for every folder, and a junction above it would be followed. Only the
// target is opened by its path, in the \\?\ form that lifts the 260-character limit.
#include "platform/SafeFile.h"

#include "platform/SafeFileRules.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// winternl.h needs the types of windows.h.
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/FileCalls.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {
namespace {

using windows::Sys;

[[nodiscard]] Fault FromError(DWORD e) {
    switch (e) {
        case ERROR_SUCCESS:
            return Fault::None;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:  // a file where a folder was asked for
            return Fault::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_PRIVILEGE_NOT_HELD:
            return Fault::Access;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return Fault::InUse;  // another program holds it open in a way that excludes us
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Fault::DiskFull;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return Fault::Exists;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_NAME:
            return Fault::NameTooLong;
        case ERROR_CANT_ACCESS_FILE:  // a reparse point whose tag no driver knows
            return Fault::NotRegular;
        default:
            return Fault::Io;
    }
}

[[nodiscard]] Fault LastFault() { return FromError(::GetLastError()); }

// The attributes a copy takes over from its original; the rest belong to the file system
// (compression, sparse, encryption) or to the file's kind.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Windows counts time in 100 ns steps from 1601; the clock from 1970.
constexpr std::int64_t kEpochOffset = 116444736000000000;

WallClock::time_point FromFileTime(std::int64_t t) {
    return WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::nanoseconds((t - kEpochOffset) * 100)));
}

FILETIME ToFileTime(WallClock::time_point t) {
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count() / 100 +
        kEpochOffset;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return ft;
}

[[nodiscard]] Fault FactsOf(HANDLE h, FileFacts& facts) {
    const auto& sys = Sys();
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!sys.info(h, &info) || !sys.infoEx(h, FileBasicInfo, &basic, sizeof basic)) {
        return LastFault();
    }
    const DWORD a = info.dwFileAttributes;
    const bool reparse = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    facts.modified = FromFileTime(basic.LastWriteTime.QuadPart);
    facts.changed = FromFileTime(basic.ChangeTime.QuadPart);
    facts.accessed = FromFileTime(basic.LastAccessTime.QuadPart);
    facts.created = FromFileTime(basic.CreationTime.QuadPart);
    // A reparse point (symbolic link, junction, cloud placeholder) is neither: never entered.
    facts.directory = !reparse && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.regular = !reparse && (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    facts.multiplyLinked = facts.regular && info.nNumberOfLinks > 1;
    facts.device = info.dwVolumeSerialNumber;
    facts.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts.mode = a & kKeptAttributes;  // the attributes play the permission bits' part
    facts.owner = facts.group = 0;
    return Fault::None;
}

void CloseHandle(NativeHandle& handle) {
    if (handle != kNoHandle) Sys().close(handle);
    handle = kNoHandle;
}

// An entry of the folder dir, opened as itself (never through a reparse point).
HANDLE OpenEntry(HANDLE dir, const std::string& name, DWORD access, DWORD share,
                 DWORD options = 0) {
    return Sys().openAt(dir, windows::Wide(name).c_str(), access, share, FILE_OPEN,
                        options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT);
}

// Sets the attributes of the file behind h, its times as they are; attributes need an access
// that sharing never refuses, so a handle of that access alone is opened beside h.
bool SetAttributes(HANDLE h, DWORD attributes) {
    HANDLE writer = ::ReOpenFile(h, FILE_WRITE_ATTRIBUTES, kShareAll, 0);
    if (writer == INVALID_HANDLE_VALUE) return false;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    const bool ok = Sys().setInfo(writer, FileBasicInfo, &basic, sizeof basic);
    Sys().close(writer);
    return ok;
}

// Deletes the file behind h when it is closed; nobody can give it that name again meanwhile.
// A read-only file is deleted too: the attribute guards against an accidental deletion, and
// this one is the deletion the user asked for once its copy is written.
[[nodiscard]] Fault DeleteByHandle(HANDLE h) {
    const auto& sys = Sys();
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (sys.setInfo(h, FileDispositionInfo, &disposition, sizeof disposition)) return Fault::None;
    const DWORD refused = ::GetLastError();
    FILE_BASIC_INFO basic{};
    if (refused != ERROR_ACCESS_DENIED || !sys.infoEx(h, FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return FromError(refused);
    }
    // Since Windows 10 1809 one call ignores the attribute; before that it is taken off first
    // and put back should the deletion still fail.
    DWORD ex = windows::kDeleteIgnoringReadOnly;
    if (sys.setInfo(h, windows::kDispositionInfoEx, &ex, sizeof ex)) return Fault::None;
    if (!SetAttributes(h, basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        return FromError(refused);
    }
    if (sys.setInfo(h, FileDispositionInfo, &disposition, sizeof disposition)) return Fault::None;
    const Fault f = LastFault();
    (void)SetAttributes(h, basic.FileAttributes);
    return f;
}

// Whether the file behind h is still the one facts describe, unchanged: Fault::Changed if not.
[[nodiscard]] Fault StillAsRead(HANDLE h, const FileFacts& facts) {
    FileFacts now;
    if (const Fault f = FactsOf(h, now); f != Fault::None) return f;
    return UnchangedSince(now, facts) ? Fault::None : Fault::Changed;
}

// Opens name for deletion and deletes it only while it is still the file described by inode.
[[nodiscard]] Fault RemoveIfSame(HANDLE dir, const std::string& name, std::uint64_t inode,
                                 const FileFacts* unchanged) {
    HANDLE h = OpenEntry(dir, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll);
    if (h == nullptr) return LastFault();
    FileFacts now;
    Fault f = FactsOf(h, now);
    if (f == Fault::None && now.inode != inode) f = Fault::Exists;
    if (f == Fault::None && unchanged != nullptr) f = StillAsRead(h, *unchanged);
    if (f == Fault::None) f = DeleteByHandle(h);
    Sys().close(h);
    return f;
}

// The oplock of each leased source, by the source's handle. An oplock breaks when another
// program opens the file in a way our share mode refuses: that open waits until the oplock
// handle is closed, so the source gives the file up at its next read or at its deletion, and
// the writer gets in. Where none is granted, the share mode alone keeps writers out.
struct OplockWatch {
    windows::OplockRequest request;
    HANDLE handle = nullptr;
};
std::mutex gWatchLock;
std::map<HANDLE, std::unique_ptr<OplockWatch>> gWatches;

void Release(std::unique_ptr<OplockWatch> watch);

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

// Taken out before the source's handle is closed, whose value another open may get at once.
std::unique_ptr<OplockWatch> Unwatched(HANDLE file) {
    const std::lock_guard<std::mutex> lock(gWatchLock);
    const auto it = gWatches.find(file);
    if (it == gWatches.end()) return nullptr;
    auto watch = std::move(it->second);
    gWatches.erase(it);
    return watch;
}

// Gives the oplock up; the source's own handle, should it still be open, keeps writers out.
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

DWORD CurrentProcess() { return ::GetCurrentProcessId(); }

// ".kolvik-tijdel-PID-N", a name no other run of ours gives out at the same time.
std::string NextScratchName() {
    static std::atomic<unsigned> counter{0};
    return std::string(kScratchPrefix) + std::to_string(CurrentProcess()) + "-" +
           std::to_string(++counter);
}

// Writes zeros over the first size bytes of the file behind h and flushes them to the disk.
[[nodiscard]] Fault ZeroHandle(HANDLE h, std::int64_t size) {
    static const std::vector<char> zeros(std::size_t{1} << 20);
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return LastFault();
    for (std::int64_t at = 0; at < size;) {
        const auto n = static_cast<DWORD>(
            std::min<std::int64_t>(size - at, static_cast<std::int64_t>(zeros.size())));
        DWORD written = 0;
        if (!Sys().write(h, zeros.data(), n, &written)) return LastFault();
        if (written == 0) return Fault::Io;
        at += written;
    }
    return Sys().flush(h) ? Fault::None : LastFault();
}

// ".kolvik-tijdel-PID-N", as Copy::Create names its scratch copies; any other name is the user's.
bool IsScratchName(const std::string& name) {
    if (name.rfind(kScratchPrefix, 0) != 0) return false;
    const std::string_view rest = std::string_view(name).substr(kScratchPrefix.size());
    const std::size_t dash = rest.find('-');
    const auto number = [](std::string_view digits) {
        return !digits.empty() && digits.size() <= 10 &&
               digits.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return dash != std::string_view::npos && number(rest.substr(0, dash)) &&
           number(rest.substr(dash + 1));
}

}  // namespace

// --- Folder ---

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

// --- Source ---

Source::~Source() { Close(); }

Source::Source(Source&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      leased_(std::exchange(other.leased_, false)),
      fixed_(other.fixed_),
      position_(other.position_),
      size_(other.size_) {}

Source& Source::operator=(Source&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        leased_ = std::exchange(other.leased_, false);
        fixed_ = other.fixed_;
        position_ = other.position_;
        size_ = other.size_;
    }
    return *this;
}

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

// --- Copy ---

Fault Copy::Create(const Folder& folder, const std::string& newName) {
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

// --- Pending originals ---

namespace {

// Whether the leased original may go: held open since it was read, refusing writers, renames
// and deletions, it is still the file read, under its name, and nobody asked for it meanwhile.
// Its oplock is given up then: our own deletion would break it and wait for that break to be
// answered.
[[nodiscard]] Fault MayGo(const Source& leased, const FileFacts& facts) {
    if (const Fault f = StillAsRead(leased.Handle(), facts); f != Fault::None) return f;
    // A program that asked for the file meanwhile is waiting for it: it gets it, whole.
    if (!leased.LeaseHeld()) return Fault::InUse;
    Release(Unwatched(leased.Handle()));
    return Fault::None;
}

}  // namespace

Fault RemoveUnchanged(const Folder& folder, const std::string& name, const FileFacts& facts,
                      const Source& leased) {
    if (!leased.IsOpen()) return RemoveIfSame(folder.Handle(), name, facts.inode, &facts);
    if (const Fault f = MayGo(leased, facts); f != Fault::None) return f;
    return DeleteByHandle(leased.Handle());
}

// The files of a finished entry: a published copy that has to go again is deleted through its
// own handle, which no other program can have opened since (it was opened without sharing).
class HandleCloser {
  public:
    static NativeHandle Of(const Copy& copy) { return copy.handle_; }
    static bool RemovePublished(Copy& copy) {
        if (copy.handle_ == kNoHandle || !copy.tempName_.empty()) return false;
        const Fault f = DeleteByHandle(copy.handle_);
        CloseHandle(copy.handle_);
        return f == Fault::None;
    }
    // A deletion takes effect when the last handle closes.
    static void Close(Source& source) { source.Close(); }
    static void Close(Copy& copy) {
        // A copy still unnamed is for Discard, which removes its scratch file too.
        if (copy.tempName_.empty()) CloseHandle(copy.handle_);
    }
};

namespace {

// The copy of a read-only original takes the attribute once the original is gone. Should that
// fail, the copy is complete and merely writable: nothing to undo.
void MarkReadOnly(PendingOriginal& p) {
    HANDLE own = p.copyFile ? HandleCloser::Of(*p.copyFile) : kNoHandle;
    HANDLE h = own != kNoHandle
                   ? own
                   : OpenEntry(p.folder->Handle(), p.copy, FILE_READ_ATTRIBUTES, kShareAll);
    if (h == nullptr) return;
    FileFacts now;
    if (own != kNoHandle || (FactsOf(h, now) == Fault::None && now.inode == p.copyInode)) {
        FILE_BASIC_INFO basic{};
        if (Sys().infoEx(h, FileBasicInfo, &basic, sizeof basic)) {
            (void)SetAttributes(h, basic.FileAttributes | FILE_ATTRIBUTE_READONLY);
        }
    }
    if (own == kNoHandle) Sys().close(h);
}

// Deletes an original that no other program holds open, no writer least of all: opened so as to
// refuse writers, it must still be the file read.
[[nodiscard]] Fault RemoveRefusingWriters(const Folder& folder, const std::string& name,
                                          const FileFacts& facts) {
    HANDLE h = OpenEntry(folder.Handle(), name, GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_NON_DIRECTORY_FILE);
    if (h == nullptr) return LastFault();
    Fault f = StillAsRead(h, facts);
    if (f == Fault::None) f = DeleteByHandle(h);
    Sys().close(h);
    return f;
}

// Renames the original open as w to a scratch name, where it is deleted once w closes, and
// overwrites it meanwhile; wiped tells why it was not overwritten.
[[nodiscard]] Fault GoOverwritten(HANDLE w, HANDLE dir, const std::string& name, std::int64_t size,
                                  Fault& wiped) {
    if (!Sys().rename(w, dir, windows::Wide(NextScratchName()).c_str())) {
        // Never overwritten under its own name: it goes as ever.
        wiped = LastFault();
        return DeleteByHandle(w);
    }
    if (const Fault f = DeleteByHandle(w); f != Fault::None) {
        // Nothing is overwritten yet: it stays, under its own name again. Should that fail, the
        // copy is what stands for it.
        if (Sys().rename(w, dir, windows::Wide(name).c_str())) return f;
        wiped = f;
        return Fault::None;
    }
    // Until it is closed, a crash leaves a scratch file, never a half-overwritten original.
    wiped = Sys().flush(w) ? ZeroHandle(w, size) : LastFault();
    return Fault::None;
}

// The original of p goes as RemoveUnchanged lets it go, its bytes overwritten first where a
// handle that shares nothing proves that no other program has it open (wiped tells why not).
// Windows deletes a file only once its last handle closes, so its name goes first to a scratch
// name: a crash in the middle leaves no half-overwritten file under the original's name, only a
// scratch file that the next run overwrites and removes.
[[nodiscard]] Fault RemoveOverwriting(PendingOriginal& p, Fault& wiped) {
    wiped = Fault::Io;
    Source& leased = p.leased;
    if (!leased.IsOpen()) return RemoveUnchanged(*p.folder, p.original, p.originalFacts, leased);
    if (const Fault f = MayGo(leased, p.originalFacts); f != Fault::None) return f;
    FileFacts facts = p.originalFacts;
    // Writing is refused to a read-only file: the attribute goes while writers are kept out.
    const DWORD readOnly = facts.mode & FILE_ATTRIBUTE_READONLY;
    if (readOnly != 0 && (!SetAttributes(leased.Handle(), facts.mode & ~readOnly) ||
                          FactsOf(leased.Handle(), facts) != Fault::None)) {
        return DeleteByHandle(leased.Handle());
    }
    HandleCloser::Close(leased);
    constexpr DWORD kWriter = GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    HANDLE w = OpenEntry(p.folder->Handle(), p.original, kWriter, 0, FILE_NON_DIRECTORY_FILE);
    if (w == nullptr) {
        // Open elsewhere, for reading: it goes as ever, whole, unless a writer took it meanwhile.
        wiped = LastFault();
        const Fault f = RemoveRefusingWriters(*p.folder, p.original, facts);
        HANDLE back = OpenEntry(p.folder->Handle(), p.original, FILE_WRITE_ATTRIBUTES, kShareAll);
        if (back != nullptr) {
            if (readOnly != 0) (void)SetAttributes(back, p.originalFacts.mode);
            Sys().close(back);
        }
        return f;
    }
    Fault f = StillAsRead(w, facts);
    if (f == Fault::None) f = GoOverwritten(w, p.folder->Handle(), p.original, facts.size, wiped);
    if (f != Fault::None && readOnly != 0) (void)SetAttributes(w, p.originalFacts.mode);
    Sys().close(w);
    return f;
}

// The deletions of one crew member: its share of the group, each original deleted only while
// unchanged and the copy of any that stays taken away again, then their files closed.
void CompleteShare(std::vector<PendingOriginal>& pending, std::size_t first, std::size_t last,
                   std::vector<Fault>& result, std::vector<Fault>& wiped) {
    for (std::size_t i = first; i < last; ++i) {
        auto& p = pending[i];
        // Every copy was flushed before it was named (Copy::Publish).
        result[i] = CopyStillThere(p);
        if (result[i] == Fault::None) {
            result[i] = p.overwrite
                            ? RemoveOverwriting(p, wiped[i])
                            : RemoveUnchanged(*p.folder, p.original, p.originalFacts, p.leased);
        }
        HandleCloser::Close(p.leased);
        if (result[i] == Fault::None && (p.originalFacts.mode & FILE_ATTRIBUTE_READONLY) != 0) {
            MarkReadOnly(p);
        } else if (CopyGoesAgain(p, result[i])) {
            const std::uint64_t copyInode = p.copyFile ? p.copyFile->Inode() : p.copyInode;
            if (!p.copyFile || !HandleCloser::RemovePublished(*p.copyFile)) {
                (void)p.folder->Remove(p.copy, copyInode);
            }
        }
        if (p.copyFile) HandleCloser::Close(*p.copyFile);
    }
}

}  // namespace

Completion CompletePending(std::vector<PendingOriginal>& pending, Crew& crew) {
    Completion done;
    if (pending.empty()) return done;
    std::vector<Fault> removals(pending.size(), Fault::Io), wiped(pending.size(), Fault::None);
    InShares(crew, pending.size(), kDeletionsPerShare, [&](std::size_t first, std::size_t last) {
        CompleteShare(pending, first, last, removals, wiped);
    });
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (removals[i] == Fault::None && wiped[i] != Fault::None)
            done.unwiped.push_back({pending[i].folder, pending[i].original, wiped[i]});
        if (removals[i] != Fault::None) done.failed.push_back({std::move(pending[i]), removals[i]});
    }
    pending.clear();
    return done;
}

// --- Listing ---

Fault Folder::List(std::vector<std::string>& files, std::vector<std::string>& folders,
                   std::vector<std::string>* scratch, std::vector<bool>* regular) const {
    Listing listed(files, folders, scratch, regular);
    // Listed through the folder's own handle, from its start each time.
    std::vector<std::uint8_t> buffer(std::size_t{64} << 10);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!Sys().infoEx(handle_, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) break;
            return LastFault();
        }
        kind = FileIdBothDirectoryInfo;
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring wide(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (wide != L"." && wide != L"..") {
                const std::string name = windows::Utf8(wide);
                const DWORD a = entry->FileAttributes;
                const bool isFolder =
                    (a & FILE_ATTRIBUTE_DIRECTORY) != 0 && (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
                if (!isFolder && IsScratchName(name)) {
                    listed.AddScratch(name);
                } else if (isFolder) {
                    listed.AddFolder(name);
                } else {
                    // A reparse point (link, junction, placeholder) or a device is not one.
                    constexpr DWORD kNotRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                                                  FILE_ATTRIBUTE_REPARSE_POINT;
                    listed.AddFile(name, (a & kNotRegular) == 0);
                }
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    listed.Finish();
    return Fault::None;
}

void Folder::RemoveLeftoverScratch(const std::string& name) const {
    if (!IsScratchName(name)) return;
    // A live run holds its copy open without sharing, so opening it fails until that run has
    // closed it: only a killed run's leftover goes, overwritten first, as it may hold plain
    // text (a copy being decrypted, an original being overwritten).
    HANDLE h = OpenEntry(handle_, name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                         FILE_NON_DIRECTORY_FILE);
    FileFacts facts;
    if (h != nullptr) {
        if (FactsOf(h, facts) == Fault::None && facts.regular && !facts.multiplyLinked) {
            (void)ZeroHandle(h, facts.size);
            (void)DeleteByHandle(h);
        }
        Sys().close(h);
        return;
    }
    // A read-only leftover is removed all the same.
    if (Stat(name, facts) != Fault::None || !facts.regular) return;
    (void)Remove(name, facts.inode);
}

}  // namespace kolvik::safefile
