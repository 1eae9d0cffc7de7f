// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/KeptFacts.h"

#include <linux/fs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/posix/MetaCalls.h"

namespace kolvik::safefile::kept {
namespace {

using posix::Meta;

constexpr std::string_view kMark = "user.kolvik";  // a scratch copy's, never a user's
constexpr std::string_view kAclAccess = "system.posix_acl_access";
constexpr std::string_view kAclDefault = "system.posix_acl_default";

// A value that changed size between asking for it and reading it is asked for again.
bool ReadValue(int fd, const char* name, std::string& value, bool& gone) {
    gone = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = Meta().fgetxattr(fd, name, nullptr, 0);
        if (size < 0) {
            gone = errno == ENODATA;
            return gone;
        }
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = Meta().fgetxattr(fd, name, value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno == ENODATA) return gone = true;
        if (errno != ERANGE) return false;
    }
    return false;
}

bool ReadNames(int fd, std::string& names) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = Meta().flistxattr(fd, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;  // a file system without xattrs
        names.resize(static_cast<std::size_t>(size));
        if (size == 0) return true;
        const ssize_t got = Meta().flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;
    }
    return false;
}

// Names that need a privilege: without it `cp -a` passes them over without a word.
bool NeedsPrivilege(std::string_view name) {
    return name.starts_with("trusted.") || name.starts_with("security.");
}

}  // namespace

const unsigned kKeptFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
                            FS_NOATIME_FL | FS_NOCOMP_FL | FS_NOCOW_FL;

std::shared_ptr<const KeptExtras> Read(int fd) {
    auto extras = std::make_shared<KeptExtras>();
    std::string names;
    if (!ReadNames(fd, names)) extras->complete = false;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.c_str() + at);
        at += name.size() + 1;
        if (name.empty() || name == kMark) continue;
        std::string value;
        bool gone = false;
        if (!ReadValue(fd, name.c_str(), value, gone)) {
            extras->complete = false;
        } else if (!gone) {
            extras->xattrs.emplace_back(name, std::move(value));
        }
    }
    // A file system without these flags answers in several ways; none of them means any flag.
    unsigned flags = 0;
    if (Meta().getflags(fd, &flags) == 0) {
        extras->flags = flags & kKeptFlags;
        extras->fixed = (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
    }
    if (extras->xattrs.empty() && extras->flags == 0 && !extras->fixed && extras->complete) {
        return nullptr;
    }
    return extras;
}

bool GivesAcl(int folder) {
    if (Meta().fgetxattr(folder, kAclDefault.data(), nullptr, 0) >= 0) return true;
    // A folder that cannot tell is taken to give one: the removal is then tried.
    return errno != ENODATA && errno != ENOTSUP;
}

Fault Apply(int fd, const KeptExtras* extras, bool folderGivesAcl) {
    if (extras != nullptr && (!extras->complete || extras->fixed)) return Fault::Unkeepable;
    bool acl = false;
    if (extras != nullptr) {
        for (const auto& [name, value] : extras->xattrs) {
            acl = acl || name == kAclAccess;
            if (Meta().fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0) continue;
            const int error = errno;
            if (error == ENOTSUP) continue;
            if ((error == EPERM || error == EACCES) && NeedsPrivilege(name) && ::geteuid() != 0)
                continue;
            return Fault::Unkeepable;
        }
    }
    // A folder's default ACL reaches the copy as it is created; an original without an ACL of
    // its own must not come back with one.
    if (!acl && folderGivesAcl && Meta().fremovexattr(fd, kAclAccess.data()) != 0 &&
        errno != ENODATA && errno != ENOTSUP) {
        return Fault::Unkeepable;
    }
    if (extras == nullptr || extras->flags == 0) return Fault::None;
    unsigned flags = 0;
    if (Meta().getflags(fd, &flags) != 0) return Fault::Unkeepable;
    const unsigned wanted = (flags & ~kKeptFlags) | extras->flags;
    if (wanted != flags && Meta().setflags(fd, wanted) != 0) return Fault::Unkeepable;
    return Fault::None;
}

}  // namespace kolvik::safefile::kept
