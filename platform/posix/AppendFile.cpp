// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kolvik {

bool AppendToFile(const std::string& path, std::string_view bytes) {
    // O_NONBLOCK: a FIFO at that name must not hang the run; it is refused below anyway.
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        // n == 0 cannot end a regular file's write; treat it as the failure it would hide.
        if (n <= 0)
            ok = false;
        else
            bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    // A network file system may report a failed write only here.
    if (::close(fd) != 0) ok = false;
    return ok;
}

}  // namespace kolvik
