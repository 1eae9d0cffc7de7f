// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows calls behind every per-file operation, gathered in one table so that a test can
// make any single create, write, flush, rename or delete fail and check that nothing was lost.
// Each reports failure as Windows does, through the thread's last error.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::windows {

// A read-handle oplock as FSCTL_REQUEST_OPLOCK takes it (winioctl.h of Windows 7 and later);
// it must stay in place until the request completes.
struct OplockRequest {
    struct Input {
        WORD version = 1, length = sizeof(Input);
        DWORD level = 1 | 2;  // OPLOCK_LEVEL_CACHE_READ | OPLOCK_LEVEL_CACHE_HANDLE
        DWORD flags = 1;      // REQUEST_OPLOCK_INPUT_FLAG_REQUEST
    } in;
    struct Output {
        WORD version = 1, length = sizeof(Output);
        DWORD originalLevel = 0, newLevel = 0, flags = 0;
        ACCESS_MASK accessMode = 0;
        WORD shareMode = 0;
    } out;
    OVERLAPPED overlapped{};  // hEvent: set by the caller; signalled when the oplock breaks
};

// FileDispositionInfoEx (Windows 10 1809 and later), which the headers offer only to
// programs that require that version; its flags deleting a file, read-only or not.
inline constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
inline constexpr DWORD kDeleteIgnoringReadOnly = 0x1 | 0x10;

struct FileCalls {
    // The target folder, by its full path (\\?\ form); nullptr on failure.
    HANDLE (*openPath)(const wchar_t* path, DWORD access, DWORD share, DWORD flags);
    // (dir, name, access, share, disposition, options): name inside the open folder dir,
    // through NtCreateFile with dir as the root, so that nothing above dir is looked up again;
    // disposition and options as NtCreateFile takes them (FILE_CREATE asks for a new file).
    // nullptr on failure.
    HANDLE (*openAt)(HANDLE, const wchar_t*, DWORD, DWORD, DWORD, DWORD);
    BOOL (*close)(HANDLE handle);
    BOOL (*read)(HANDLE handle, void* buf, DWORD size, DWORD* got);
    BOOL (*write)(HANDLE handle, const void* buf, DWORD size, DWORD* written);
    BOOL (*flush)(HANDLE handle);
    BOOL (*info)(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info);
    // GetFileInformationByHandleEx: the basic information and the folder listing.
    BOOL (*infoEx)(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* buf, DWORD size);
    // SetFileInformationByHandle: attributes (FileBasicInfo) and FileDispositionInfo.
    BOOL (*setInfo)(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* buf, DWORD size);
    // Gives the open file the name name in the open folder dir, never replacing a file there
    // (NtSetInformationFile, FileRenameInformation with dir as the root).
    BOOL (*rename)(HANDLE handle, HANDLE dir, const wchar_t* name);
    // (handle, created, accessed, written); a null time stays as it is.
    BOOL (*setTimes)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*);
    // Opens a second handle on the open file for its oplock alone and asks for a read-handle
    // oplock on it; request->overlapped.hEvent is signalled once the oplock breaks, or once the
    // returned handle is closed. nullptr where none is granted.
    HANDLE (*oplock)(HANDLE file, OplockRequest* request);
};

// The table in use: the real calls unless a test has put its own in place.
const FileCalls& Sys();
const FileCalls& RealFileCalls();
// nullptr restores the real calls.
void SetFileCalls(const FileCalls* calls);

}  // namespace kolvik::windows
