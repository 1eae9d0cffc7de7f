// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <filesystem>
#include <string>

namespace kolvik::test {

// A fresh folder per test, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // Joined as the program joins paths: with "\" on Windows, "/" in name included.
    std::string operator/(const std::string& name) const;

  private:
    std::string path_;
};

// A UTF-8 path as the file system library takes it, and back: on Windows a plain std::string
// would be read in the ANSI code page.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace kolvik::test
