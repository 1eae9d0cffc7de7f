// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdexcept>

#include "Helpers.h"
#include "platform/windows/Utf16.h"
// After Helpers.h: windows.h defines Yield as a macro, which the window's Yield would meet.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

// The entry itself, never what a link leads to.
HANDLE OpenEntry(const std::string& path, DWORD access) {
    return ::CreateFileW(windows::LongPath(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
}

}  // namespace

HeldOpen::HeldOpen(const std::string& path, bool writing)
    : handle_(reinterpret_cast<std::intptr_t>(
          ::CreateFileW(windows::LongPath(path).c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_DELETE | (writing ? FILE_SHARE_WRITE : 0),
                        nullptr, OPEN_EXISTING, 0, nullptr))) {}

HeldOpen::~HeldOpen() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

std::string HeldOpen::Reads(std::size_t size) const {
    std::string out(size, '\0');
    OVERLAPPED at{};
    DWORD got = 0;
    const bool read = ::ReadFile(reinterpret_cast<HANDLE>(handle_), out.data(),
                                 static_cast<DWORD>(size), &got, &at);
    return read && got == size ? out : "";
}

// Windows keeps times in 100 ns steps from 1601; a link is given the time, not its target.
void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count() / 100 +
        116444736000000000;
    FILETIME ft{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    HANDLE h = OpenEntry(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return;
    ::SetFileTime(h, nullptr, nullptr, &ft);
    ::CloseHandle(h);
}

bool MakeSymlink(const std::string& target, const std::string& link) {
    if (!::CreateSymbolicLinkW(windows::LongPath(link).c_str(), windows::LongPath(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
        throw std::runtime_error("no symbolic link " + link);
    }
    HANDLE h = OpenEntry(link, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

std::uint64_t FileId(const std::string& path) {
    HANDLE h = OpenEntry(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    return ok ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
}

}  // namespace kolvik::test
