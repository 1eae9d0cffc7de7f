// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Trees on disk and their snapshots, files planted and held open as other programs do.
#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/LeftReason.h"
#include "support/TempDir.h"

namespace kolvik::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

inline std::string Bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Every entry below root, by relative path: "file:" and its content, "link:" and its target,
// "dir" or "other".
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string& root);

using Left = std::vector<std::pair<std::string, LeftReason>>;

// A file of stem holding plain, or with decrypting its encrypted form under the key "geheim",
// planted in dir: its name and content, and the name and content of the copy a run makes of it.
struct KolPair {
    std::string name, copy, content, copyContent;
};
KolPair PlantOne(const std::string& dir, const std::string& stem, const std::string& plain,
                 bool decrypting);

// The platform's part (posix/ or windows/PlatformFiles.cpp): a link is changed or described
// itself, never followed.
void SetMtime(const std::string& path, std::chrono::system_clock::time_point t);
// Files of the given sizes (filled with 'x') under root, their folders made as needed.
void Plant(const std::string& root, const std::vector<std::pair<std::string, std::size_t>>& files);
// A symbolic link that the file layer meets as a link. False where the system cannot make one
// (Wine keeps links as Unix links, which Windows calls cannot open as themselves).
bool MakeSymlink(const std::string& target, const std::string& link);
// The file's number on its volume (inode, file index); 0 when there is no such entry.
std::uint64_t FileId(const std::string& path);

// A file open for reading in another program, as a viewer opens it (on Windows sharing reading
// and deletion), or for writing as an editor keeps it (sharing everything), for as long as this
// lives.
class HeldOpen {
  public:
    explicit HeldOpen(const std::string& path, bool writing = false);
    ~HeldOpen();
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    // The first size bytes it reads now.
    std::string Reads(std::size_t size) const;

  private:
    std::intptr_t handle_;
};

}  // namespace kolvik::test
