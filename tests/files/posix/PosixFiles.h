// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What only a POSIX test needs beside the trees: a process id that is gone, the chattr flags
// and xattrs of a file, and a stand-in for the calls that keep them.
#include <sys/types.h>

#include <optional>
#include <string>

namespace kolvik::test {

// A process id that no process has any more.
pid_t GonePid();

// The chattr flags, after adding add and taking off drop; nothing where there are none.
std::optional<unsigned> Flags(const std::string& path, unsigned add = 0, unsigned drop = 0);

// The xattr's value, of the entry itself; nothing where it is not set.
std::optional<std::string> Xattr(const std::string& path, const char* name);
bool SetXattr(const std::string& path, const char* name, const std::string& value);

// How the calls that read and set xattrs and flags, and name the file system, answer.
struct MetaFaults {
    int xattrError = 0;               // every xattr call fails with it (ENOTSUP: none kept here)
    const char* onlyXattr = nullptr;  // with it, only the setting of this one fails
    int flagsError = 0;               // setting the flags fails with it
    bool fuse = false;                // the file system says it is served through FUSE
};

// Puts faults in place for as long as it lives.
struct FakeMetaCalls {
    explicit FakeMetaCalls(const MetaFaults& faults);
    ~FakeMetaCalls();
    FakeMetaCalls(const FakeMetaCalls&) = delete;
    FakeMetaCalls& operator=(const FakeMetaCalls&) = delete;
};

}  // namespace kolvik::test
