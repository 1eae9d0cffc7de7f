// SPDX-License-Identifier: GPL-3.0-or-later
// What the README says a .kol file does not protect against, shown on real files, so that
// the text cannot drift from what the program writes. That one file whose text is known opens
// every other of the same password needs no test of its own: the keystream and the check bytes
// depend on the password and the extension alone, which every comparison with Reference.h's
// formulas holds the program to, byte for byte.
#include <gtest/gtest.h>

#include "EngineKit.h"

namespace kolvik::test {
namespace {

// Encrypts 5,000 bytes as r.txt under key, alone in a fresh folder, and returns the .kol bytes.
std::string KolOf(const std::string& key) {
    TempDir dir;
    WriteFile(dir / "r.txt", Bytes(5000, 7));
    Engine w(key);
    w.Encrypt(dir.path());
    return ReadFile(dir / "r_txt.kol");
}

TEST(DescribedFormatWeakness, OnlyTheFirstSevenPasswordCharactersCount) {
    const std::pair<std::string, std::string> sameFile[] = {
        {"geheim1A", "geheim1B"},                       // the eighth character differs
        {"geheim1", "geheim1 en nog veel meer tekst"},  // everything after the seventh
        {"abcdefg", "abcdefgh"},
    };
    for (const auto& [a, b] : sameFile) EXPECT_EQ(KolOf(a), KolOf(b)) << a << " / " << b;
    EXPECT_NE(KolOf("geheimA"), KolOf("geheimB"));  // the seventh character still counts
}

}  // namespace
}  // namespace kolvik::test
