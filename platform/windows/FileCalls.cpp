// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/FileCalls.h"

// winternl.h needs the types of windows.h, which FileCalls.h brings.
#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

namespace kolvik::windows {
namespace {

HANDLE OpenPath(const wchar_t* path, DWORD access, DWORD share, DWORD flags) {
    HANDLE h = ::CreateFileW(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

HANDLE OpenAt(HANDLE dir, const wchar_t* name, DWORD access, DWORD share, DWORD disposition,
              DWORD options) {
    UNICODE_STRING relative;
    ::RtlInitUnicodeString(&relative, name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &relative, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status =
        ::NtCreateFile(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                       share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        ::SetLastError(::RtlNtStatusToDosError(status));
        return nullptr;
    }
    return h;
}

// FILE_RENAME_INFORMATION as the kernel takes it; SetFileInformationByHandle would read the
// name as a path of its own rather than relative to the folder's handle under Wine.
struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};
constexpr int kFileRenameInformation = 10;

BOOL Rename(HANDLE handle, HANDLE dir, const wchar_t* name) {
    const std::size_t bytes = std::wcslen(name) * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(RenameInformation) + bytes);
    auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
    info->replaceIfExists = FALSE;
    info->rootDirectory = dir;
    info->fileNameLength = static_cast<ULONG>(bytes);
    std::memcpy(info->fileName, name, bytes);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        ::NtSetInformationFile(handle, &io, info, static_cast<ULONG>(buffer.size()),
                               static_cast<FILE_INFORMATION_CLASS>(kFileRenameInformation));
    if (status < 0) {
        ::SetLastError(::RtlNtStatusToDosError(status));
        return FALSE;
    }
    return TRUE;
}

BOOL Read(HANDLE h, void* buf, DWORD size, DWORD* got) {
    return ::ReadFile(h, buf, size, got, nullptr);
}
BOOL Write(HANDLE h, const void* buf, DWORD size, DWORD* written) {
    return ::WriteFile(h, buf, size, written, nullptr);
}

HANDLE Oplock(HANDLE file, OplockRequest* request) {
    // Attributes only: the handle must neither be refused by the reader's share mode nor,
    // holding no data access, stand in the way of anyone itself.
    HANDLE h =
        ::ReOpenFile(file, FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_OVERLAPPED);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    constexpr DWORD kRequestOplock = 0x00090240;  // FSCTL_REQUEST_OPLOCK
    // Granted, the request stays pending until the oplock breaks.
    if (!::DeviceIoControl(h, kRequestOplock, &request->in, sizeof request->in, &request->out,
                           sizeof request->out, nullptr, &request->overlapped) &&
        ::GetLastError() == ERROR_IO_PENDING) {
        return h;
    }
    ::CloseHandle(h);
    return nullptr;
}

const FileCalls kReal{OpenPath,
                      OpenAt,
                      ::CloseHandle,
                      Read,
                      Write,
                      ::FlushFileBuffers,
                      ::GetFileInformationByHandle,
                      ::GetFileInformationByHandleEx,
                      ::SetFileInformationByHandle,
                      Rename,
                      ::SetFileTime,
                      Oplock};
const FileCalls* gActive = &kReal;

}  // namespace

const FileCalls& Sys() { return *gActive; }
const FileCalls& RealFileCalls() { return kReal; }
void SetFileCalls(const FileCalls* calls) { gActive = calls ? calls : &kReal; }

}  // namespace kolvik::windows
