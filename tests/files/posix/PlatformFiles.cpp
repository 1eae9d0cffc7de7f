// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "Helpers.h"

namespace kolvik::test {

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t) {
    const auto ns = std::chrono::nanoseconds(t.time_since_epoch()).count();
    const timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool MakeSymlink(const std::string& target, const std::string& link) {
    std::filesystem::create_symlink(target, link);
    return true;
}

std::uint64_t FileId(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace kolvik::test
