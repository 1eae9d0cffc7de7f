// SPDX-License-Identifier: GPL-3.0-or-later
// What is done to a Windows file through its handle: its facts, its attributes, its deletion and
// zeros over its bytes. The calls go through the FileCalls table, where the fault tests reach
// them; only the second handle for attributes (ReOpenFile) and the move of the file pointer
// call the system directly.
#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/SafeFileRules.h"
#include "platform/windows/SafeFileParts.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {
namespace {

// Windows counts time in 100 ns steps from 1601; the clock from 1970.
constexpr std::int64_t kEpochOffset = 116444736000000000;

WallClock::time_point FromFileTime(std::int64_t t) {
    return WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::nanoseconds((t - kEpochOffset) * 100)));
}

}  // namespace

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

HANDLE OpenEntry(HANDLE dir, const std::string& name, DWORD access, DWORD share, DWORD options) {
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

[[nodiscard]] Fault StillAsRead(HANDLE h, const FileFacts& facts) {
    FileFacts now;
    if (const Fault f = FactsOf(h, now); f != Fault::None) return f;
    return UnchangedSince(now, facts) ? Fault::None : Fault::Changed;
}

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

}  // namespace kolvik::safefile
