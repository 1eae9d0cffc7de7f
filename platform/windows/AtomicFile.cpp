// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/windows/Utf16.h"

namespace kolvik {
namespace {

FileError ErrorOf(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return FileError::None;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::DiskFull;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return FileError::Denied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return FileError::PathNotFound;
        default:
            return FileError::Other;
    }
}

DWORD WriteAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return ::FlushFileBuffers(h) ? ERROR_SUCCESS : ::GetLastError();
}

void MakeParentFolders(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(windows::Wide(path.substr(0, slash))),
                                        ignored);
}

// A name of our own beside the target: CREATE_NEW never truncates a file that someone else
// (or a second registration at the same moment) already holds under that name.
HANDLE CreateTemporaryBeside(const std::string& path, std::wstring& temp) {
    for (unsigned attempt = 0;; ++attempt) {
        temp = windows::LongPath(path + ".kolvik-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(attempt));
        HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS || attempt == 99)
            return h;
    }
}

}  // namespace

FileError AtomicWrite(const std::string& path, std::string_view bytes, FileUse) {
    MakeParentFolders(path);
    const std::wstring target = windows::LongPath(path);
    std::wstring temp;
    HANDLE h = CreateTemporaryBeside(path, temp);
    if (h == INVALID_HANDLE_VALUE) return ErrorOf(::GetLastError());
    DWORD error = WriteAll(h, bytes);
    if (!::CloseHandle(h) && error == ERROR_SUCCESS) error = ::GetLastError();
    // WRITE_THROUGH returns once the new name is on disk: the folder's sync on Windows. A copy
    // of the program that is running there is refused here, never half-written.
    if (error == ERROR_SUCCESS &&
        !::MoveFileExW(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != ERROR_SUCCESS) ::DeleteFileW(temp.c_str());
    return ErrorOf(error);
}

FileError AtomicCopy(const std::string& from, const std::string& to, FileUse use) {
    HANDLE h = ::CreateFileW(windows::LongPath(from).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ErrorOf(::GetLastError());
    std::string bytes;
    char buffer[1 << 16];
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(h, buffer, sizeof buffer, &got, nullptr)) error = ::GetLastError();
        if (error != ERROR_SUCCESS || got == 0) break;
        bytes.append(buffer, got);
    }
    ::CloseHandle(h);
    if (error != ERROR_SUCCESS) return ErrorOf(error);
    return AtomicWrite(to, bytes, use);
}

}  // namespace kolvik
