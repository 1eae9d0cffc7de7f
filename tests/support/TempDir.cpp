// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "engine/NameRules.h"

namespace kolvik::test {
namespace fs = std::filesystem;
namespace {

std::string Joined(std::string path) {
    for (char& c : path)
        if (c == '/') c = kolvik::kSeparator;
    return path;
}

}  // namespace

TempDir::TempDir() {
    // As mkdtemp does, which Windows lacks: a random name, claimed by creating it.
    static std::mt19937_64 rng{std::random_device{}()};
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("kolvik-test-" + std::to_string(rng() % 1000000000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, ec);
            path_ = Joined(candidate.generic_string());
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

std::string TempDir::operator/(const std::string& name) const { return path_ + Joined("/" + name); }

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave folders without permissions; give them back before removing.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::filesystem::path PathOf(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return {text.begin(), text.end()};
}

std::string ReadFile(const std::string& path) {
    // Whole, through the stream's buffer: the fault sweep reads a MiB after every failed call.
    std::ifstream in(PathOf(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kolvik::test
