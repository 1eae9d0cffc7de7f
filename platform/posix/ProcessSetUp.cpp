// SPDX-License-Identifier: GPL-3.0-or-later
// What the file layer asks of its process, once: room for many open files, and the owner and
// group its files get, its umask. These call the system directly; they touch no file of the user.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/posix/SafeFileParts.h"

namespace kolvik::safefile {

// A deep tree keeps one folder open per level, and a group of pending originals one file
// each: the usual soft limit of 1024 would cut a tree of a few hundred levels short.
void RaiseOpenFileLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 65536);
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    });
}

// Asked once; nothing in Kolvik changes them during a run.
const Creator& ThisCreator() {
    static const Creator creator{::geteuid(), ::getegid()};
    return creator;
}

// Read where it can be read without changing it (Linux 4.7 and later).
int ThisUmask() {
    static const int mask = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("Umask:"))
                return static_cast<int>(std::strtol(line.c_str() + 6, nullptr, 8));
        return -1;
    }();
    return mask;
}

// A large group keeps a source and a copy open per file; with a tight limit copies are closed
// as soon as they are named.
bool RoomToKeepCopiesOpen() {
    static const bool room = [] {
        rlimit limit{};
        return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= 4096;
    }();
    return room;
}

}  // namespace kolvik::safefile
