// SPDX-License-Identifier: GPL-3.0-or-later
// What the README says a .kol file does not protect against, shown on real files, so that
// the text cannot drift from what the program writes.
#include <gtest/gtest.h>

#include "Helpers.h"

namespace kolvik::test {
namespace {

// Encrypts name with content under key, alone in a fresh folder, and returns the .kol bytes.
std::string KolOf(const std::string& key, const std::string& name, const std::string& content,
                  const std::string& encryptedName) {
    TempDir dir;
    WriteFile(dir / name, content);
    Window w(key);
    w.Encrypt(dir.path());
    return ReadFile(dir / encryptedName);
}

TEST(DescribedFormatWeakness, OnlyTheFirstSevenPasswordCharactersCount) {
    const std::string content = Bytes(5000, 7);
    const auto kol = [&](const std::string& key) {
        return KolOf(key, "r.txt", content, "r_txt.kol");
    };
    const std::pair<std::string, std::string> sameFile[] = {
        {"geheim1A", "geheim1B"},                       // the eighth character differs
        {"geheim1", "geheim1 en nog veel meer tekst"},  // everything after the seventh
        {"abcdefg", "abcdefgh"},
    };
    for (const auto& [a, b] : sameFile) EXPECT_EQ(kol(a), kol(b)) << a << " / " << b;
    EXPECT_NE(kol("geheimA"), kol("geheimB"));  // the seventh character still counts
}

TEST(DescribedFormatWeakness, OneFileWithKnownTextOpensTheOthers) {
    // Two files, one password, one extension: 1 length byte, 3 extension bytes, 8 check bytes.
    const std::size_t header = 1 + 3 + 8;
    const std::string known = Bytes(3000, 1), secret = Bytes(3000, 2);
    const std::string a = KolOf("Zeer geheim!", "a.doc", known, "a_doc.kol");
    const std::string b = KolOf("Zeer geheim!", "b.doc", secret, "b_doc.kol");
    ASSERT_EQ(a.size(), known.size() + header + 1);  // the trailing byte
    ASSERT_EQ(b.size(), a.size());
    // The check bytes depend on the password and the extension only.
    EXPECT_EQ(a.substr(0, header), b.substr(0, header));
    // The keystream read off the file whose text is known decrypts the other one.
    std::string recovered(secret.size(), '\0');
    for (std::size_t i = 0; i < secret.size(); ++i)
        recovered[i] = static_cast<char>(a[header + i] ^ known[i] ^ b[header + i]);
    EXPECT_EQ(recovered, secret);
}

}  // namespace
}  // namespace kolvik::test
