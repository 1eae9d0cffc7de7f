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
#include "platform/posix/FileCalls.h"
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

// -1 unknown to this process, 1 in the making, 0 left when its removal failed.
int Tracked(const struct stat& st) {
    const std::lock_guard<std::mutex> lock(gFilesGuard);
    const auto it = gFiles.find({st.st_dev, st.st_ino});
    return it == gFiles.end() ? -1 : it->second ? 1 : 0;
}

// A mark "PID-TOKEN" of a process that is gone; with our own id and another token, an earlier
// process that had it.
bool MarkOfAGoneRun(std::string_view mark) {
    const pid_t owner = OwnerOf(mark);
    if (owner == 0) return false;
    if (owner == ::getpid()) return mark != ProcessMark();
    return !IsAlive(owner);
}

constexpr std::string_view kClaimPrefix = "kolvik-claim ";

}  // namespace

// 64 bits of FNV-1a: enough to tell the names of one folder apart.
std::string NameDigits(const std::string& name) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4) out[static_cast<std::size_t>(i)] = kHex[h & 15];
    return out;
}

std::string ScratchName(const std::string& newName) {
    return std::string(kScratchPrefix) + std::to_string(::getpid()) + "-" + RandomToken() + "-" +
           NameDigits(newName);
}

pid_t ScratchNameOwner(const std::string& name) {
    std::string_view rest(name);
    if (!rest.starts_with(kScratchPrefix) || rest.size() < kScratchPrefix.size() + 17) return 0;
    const std::string_view digits = rest.substr(rest.size() - 16);
    if (rest[rest.size() - 17] != '-' ||
        digits.find_first_not_of("0123456789abcdef") != digits.npos)
        return 0;
    rest.remove_prefix(kScratchPrefix.size());
    rest.remove_suffix(17);
    return OwnerOf(rest);
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
    // A second name is the copy it was published as, where a kill came between the link and the
    // unlink of the scratch name: removing this one loses nothing.
    if (!S_ISREG(st.st_mode) || scratchOwner == 0) return false;
    // One of this process's own: in the making, or left when its removal failed.
    if (const int tracked = Tracked(st); tracked >= 0) return tracked == 0;
    char value[64] = {};
    const ssize_t n = posix::Meta().fgetxattr(fd, kMarkName, value, sizeof value - 1);
    if (n >= 0) return MarkOfAGoneRun(std::string_view(value, static_cast<std::size_t>(n)));
    // Without the mark, only a file of the user running Kolvik, named by a run that is gone. Our
    // own id in a name this process does not know stays: without the process token it cannot be
    // told from a copy of ours whose entry in the live set was lost.
    const int error = errno;
    const bool byName =
        st.st_uid == ::geteuid() && scratchOwner != ::getpid() && !IsAlive(scratchOwner);
    // Where marks are kept, that is a copy killed before it was marked, which holds nothing yet.
    if (error == ENODATA) return byName && st.st_size == 0 && st.st_nlink == 1;
    return error == ENOTSUP && byName;
}

std::string ClaimContent() { return std::string(kClaimPrefix) + ProcessMark() + "\n"; }

bool LeftoverClaim(int fd, const struct stat& st) {
    constexpr std::size_t kLongest = kClaimPrefix.size() + 10 + 1 + kTokenDigits + 1;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_size > off_t{kLongest}) return false;
    if (const int tracked = Tracked(st); tracked >= 0) return tracked == 0;
    char content[kLongest + 1] = {};
    const ssize_t n = posix::Sys().pread(fd, content, sizeof content, 0);
    if (n <= 0) return false;
    std::string_view claim(content, static_cast<std::size_t>(n));
    if (!claim.starts_with(kClaimPrefix) || !claim.ends_with('\n')) return false;
    claim.remove_prefix(kClaimPrefix.size());
    claim.remove_suffix(1);
    return MarkOfAGoneRun(claim);
}

}  // namespace kolvik::safefile::mark
