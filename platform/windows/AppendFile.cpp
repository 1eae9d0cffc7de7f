// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppendFile.h"

#include <windows.h>

#include "platform/windows/Utf16.h"

namespace kolvik {

bool AppendToFile(const std::string& path, std::string_view bytes) {
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link or junction itself, which is then refused;
    // FILE_APPEND_DATA without FILE_WRITE_DATA writes at the end only.
    HANDLE h = ::CreateFileW(
        windows::LongPath(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok =
        ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    while (ok && !bytes.empty()) {
        const DWORD chunk =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0)
            ok = false;
        else
            bytes.remove_prefix(written);
    }
    if (!::CloseHandle(h)) ok = false;
    return ok;
}

}  // namespace kolvik
