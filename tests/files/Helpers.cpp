// SPDX-License-Identifier: GPL-3.0-or-later
#include "Helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Reference.h"

namespace kolvik::test {
namespace fs = std::filesystem;

Tree Snapshot(const std::string& root) {
    Tree out;
    const fs::path top = PathOf(root);
    for (const auto& e : fs::recursive_directory_iterator(top)) {
        out[Utf8Of(e.path().lexically_relative(top))] =
            e.is_symlink()        ? "link:" + Utf8Of(fs::read_symlink(e.path()))
            : e.is_directory()    ? std::string("dir")
            : e.is_regular_file() ? "file:" + ReadFile(Utf8Of(e.path()))
                                  : std::string("other");
    }
    return out;
}

KolPair PlantOne(const std::string& dir, const std::string& stem, const std::string& plain,
                 bool decrypting) {
    const std::string kol = RefEncrypted("geheim", "txt", plain);
    const KolPair p = decrypting ? KolPair{stem + "_txt.kol", stem + ".txt", kol, plain}
                                 : KolPair{stem + ".txt", stem + "_txt.kol", plain, kol};
    WriteFile(dir + "/" + p.name, p.content);
    return p;
}

void Plant(const std::string& root, const std::vector<std::pair<std::string, std::size_t>>& files) {
    for (const auto& [path, size] : files) {
        fs::create_directories(fs::path(root + "/" + path).parent_path());
        WriteFile(root + "/" + path, std::string(size, 'x'));
    }
}

}  // namespace kolvik::test
