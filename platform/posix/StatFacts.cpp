// SPDX-License-Identifier: GPL-3.0-or-later
// A file's status as the file layer keeps it, and its times back as the system takes them.
#include <chrono>
#include <limits>

#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {
namespace {

// Clamped to what a time_point holds: a file dated past 2262 still compares as later than any
// moment of the run, rather than wrapping round to 1677.
WallClock::time_point FromTimespec(const timespec& t) {
    using Ns = std::chrono::nanoseconds;
    constexpr auto kMaxSeconds = std::numeric_limits<Ns::rep>::max() / 1000000000 - 1;
    if (t.tv_sec > kMaxSeconds) return WallClock::time_point::max();
    if (t.tv_sec < -kMaxSeconds) return WallClock::time_point::min();
    return WallClock::time_point(std::chrono::duration_cast<WallClock::duration>(
        std::chrono::seconds(t.tv_sec) + Ns(t.tv_nsec)));
}

timespec ToTimespec(WallClock::time_point t) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    if (ts.tv_nsec < 0) {
        ts.tv_nsec += 1000000000;
        --ts.tv_sec;
    }
    return ts;
}

}  // namespace

void FillFacts(const struct stat& st, FileFacts& facts) {
    facts.size = static_cast<std::int64_t>(st.st_size);
    facts.modified = FromTimespec(st.st_mtim);
    facts.changed = FromTimespec(st.st_ctim);
    facts.accessed = FromTimespec(st.st_atim);
    facts.modifiedExact = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    facts.accessedExact = {st.st_atim.tv_sec, st.st_atim.tv_nsec};
    facts.extras.reset();
    facts.regular = S_ISREG(st.st_mode);
    facts.directory = S_ISDIR(st.st_mode);
    facts.multiplyLinked = facts.regular && st.st_nlink > 1;
    facts.device = st.st_dev;
    facts.inode = st.st_ino;
    facts.mode = st.st_mode & 07777;
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
}

timespec Exact(const FileFacts::ExactTime& exact, WallClock::time_point t) {
    if (exact.nanoseconds < 0) return ToTimespec(t);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(exact.seconds);
    ts.tv_nsec = static_cast<long>(exact.nanoseconds);
    return ts;
}

}  // namespace kolvik::safefile
