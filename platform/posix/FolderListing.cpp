// SPDX-License-Identifier: GPL-3.0-or-later
// A POSIX folder's entries, and the leftovers of killed runs among them.
// Every call on a file or folder goes through the FileCalls table, where the fault tests reach
// it.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/posix/Faults.h"
#include "platform/posix/Overwrite.h"
#include "platform/posix/SafeFileParts.h"
#include "platform/posix/ScratchMark.h"

namespace kolvik::safefile {
namespace {

using posix::Sys;

bool IsScratchName(const std::string& name) { return mark::ScratchNameOwner(name) != 0; }

}  // namespace

Fault Folder::List(std::vector<std::string>& files, std::vector<std::string>& folders,
                   std::vector<std::string>* scratch, std::vector<bool>* regular) const {
    Listing listed(files, folders, scratch, regular);
    // A descriptor of its own, so that the folder's stays where it is; read into a large
    // buffer, a folder of a few thousand entries takes one call, and one more to see the end.
    const int listing = Sys().openat(handle_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (listing < 0) return LastFault();
    constexpr std::size_t kListBuffer = std::size_t{64} << 10;
    thread_local std::vector<char> buffer(kListBuffer);
    for (;;) {
        const ssize_t n = Sys().getdents64(listing, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const Fault f = LastFault();
            Sys().close(listing);
            return f;
        }
        if (n == 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                // Not every file system fills the type in.
                struct stat st {};
                if (Sys().fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
                }
            }
            if (type == DT_DIR) {
                listed.AddFolder(name);
            } else if (IsScratchName(name)) {
                listed.AddScratch(name);
            } else {
                listed.AddFile(name, type == DT_REG);
            }
        }
    }
    Sys().close(listing);
    listed.Finish();
    return Fault::None;
}

void Folder::RemoveLeftoverScratch(const std::string& name) const {
    const pid_t owner = mark::ScratchNameOwner(name);
    const int fd = Sys().openat(handle_, name.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) return;
    struct stat st {};
    // A second name is the copy it was published as, where a kill came between the link and
    // the unlink of the scratch name: Leftover takes only a file with one.
    const bool statted = Sys().fstat(fd, &st) == 0;
    bool leftover = false;
    if (statted && owner != 0) {
        leftover = mark::Leftover(fd, st, owner);
        if (leftover) leftoverClaims_.push_back(name.substr(name.size() - 16));
        // The published copy keeps the file: not the mark.
        if (leftover && st.st_nlink > 1) mark::Clear(fd);
    } else if (statted) {
        // A claim is marked by its content, but a kill can come before that is written.
        leftover = mark::LeftoverClaim(fd, st) ||
                   (st.st_size == 0 && st.st_nlink == 1 && S_ISREG(st.st_mode) &&
                    std::find(leftoverClaims_.begin(), leftoverClaims_.end(),
                              mark::NameDigits(name)) != leftoverClaims_.end());
    }
    Sys().close(fd);
    // Whatever it held, plain text of a strong file that did not open included, is overwritten
    // before its blocks are freed; a second name is the published copy's, whose bytes stay.
    if (leftover && owner != 0 && st.st_nlink == 1 && st.st_size > 0)
        (void)wipe::ZeroNamed(handle_, name.c_str(), st.st_ino);
    if (leftover && Remove(name, st.st_ino) == Fault::None) mark::Forget(st.st_dev, st.st_ino);
}

}  // namespace kolvik::safefile
