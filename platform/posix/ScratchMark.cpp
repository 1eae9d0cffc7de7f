// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ScratchMark.h"

#include <signal.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/SafeFile.h"
#include "platform/posix/MetaCalls.h"

namespace kolvik::safefile::mark {
namespace {

constexpr const char* kMarkName = "user.kolvik";
constexpr std::size_t kTokenBytes = 16, kTokenDigits = 2 * kTokenBytes;

std::string RandomToken() {
    unsigned char bytes[kTokenBytes] = {};
    std::size_t got = 0;
    while (got < kTokenBytes) {
        const ssize_t n = ::getrandom(bytes + got, kTokenBytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    // Without randomness the token proves nothing; an all-zero one is never taken for ours.
    if (got < kTokenBytes) return std::string(kTokenDigits, '0');
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes) {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

bool IsToken(std::string_view s) {
    return s.size() == kTokenDigits && s.find_first_not_of("0123456789abcdef") == s.npos &&
           s != std::string(kTokenDigits, '0');
}

// "PID-TOKEN" to its pid, 0 when it is not of that form.
pid_t OwnerOf(std::string_view s) {
    const std::size_t dash = s.find('-');
    if (dash == s.npos || dash == 0 || dash > 10 || !IsToken(s.substr(dash + 1))) return 0;
    const std::string_view digits = s.substr(0, dash);
    if (digits.find_first_not_of("0123456789") != digits.npos) return 0;
    long long pid = 0;
    for (const char c : digits) pid = pid * 10 + (c - '0');
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// The token this process marks its files with; a later process that happens to get the same
// id has another one, so its leftovers are told apart from this process's own.
const std::string& ProcessMark() {
    static std::mutex guard;
    static pid_t forPid = 0;
    static std::string value;
    const std::lock_guard<std::mutex> lock(guard);
    if (forPid != ::getpid()) {
        forPid = ::getpid();
        value = std::to_string(forPid) + "-" + RandomToken();
    }
    return value;
}

// By device and inode: true while in the making, false once its removal failed.
std::mutex gFilesGuard;
std::map<std::pair<dev_t, ino_t>, bool> gFiles;

bool IsAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

std::string ScratchName() {
    return std::string(kScratchPrefix) + std::to_string(::getpid()) + "-" + RandomToken();
}

pid_t ScratchNameOwner(const std::string& name) {
    if (name.rfind(kScratchPrefix, 0) != 0) return 0;
    return OwnerOf(std::string_view(name).substr(kScratchPrefix.size()));
}

bool Set(int fd) {
    const std::string& value = ProcessMark();
    return posix::Meta().fsetxattr(fd, kMarkName, value.data(), value.size(), 0) == 0;
}

void Clear(int fd) { (void)posix::Meta().fremovexattr(fd, kMarkName); }

void Track(dev_t device, ino_t inode) {
    const std::lock_guard<std::mutex> lock(gFilesGuard);
    gFiles[{device, inode}] = true;
}

void Forget(dev_t device, ino_t inode) {
    const std::lock_guard<std::mutex> lock(gFilesGuard);
    gFiles.erase({device, inode});
}

void Orphan(dev_t device, ino_t inode) {
    const std::lock_guard<std::mutex> lock(gFilesGuard);
    gFiles[{device, inode}] = false;
}

bool Leftover(int fd, const struct stat& st, pid_t scratchOwner) {
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) return false;
    int tracked = -1;  // -1 unknown to this process, 1 in the making, 0 orphaned
    {
        const std::lock_guard<std::mutex> lock(gFilesGuard);
        const auto it = gFiles.find({st.st_dev, st.st_ino});
        if (it != gFiles.end()) tracked = it->second ? 1 : 0;
    }
    // One of this process's own: in the making, or left when its removal failed.
    if (tracked >= 0) return tracked == 0;
    char value[64] = {};
    const ssize_t n = posix::Meta().fgetxattr(fd, kMarkName, value, sizeof value - 1);
    if (n >= 0) {
        const std::string_view mark(value, static_cast<std::size_t>(n));
        const pid_t owner = OwnerOf(mark);
        if (owner == 0) return false;
        // Our own id with another token: an earlier process that had it is gone.
        if (owner == ::getpid()) return mark != ProcessMark();
        return !IsAlive(owner);
    }
    // The file system keeps xattrs, and this file has no mark: it is the user's.
    if (errno != ENOTSUP) return false;
    if (scratchOwner == 0 || st.st_uid != ::geteuid()) return false;
    // Our own id in a name this process does not know: a run that had it is gone, but without
    // the process token that cannot be told from a copy of ours the live set lost, so it stays.
    return scratchOwner != ::getpid() && !IsAlive(scratchOwner);
}

}  // namespace kolvik::safefile::mark
