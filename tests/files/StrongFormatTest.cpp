// SPDX-License-Identifier: GPL-3.0-or-later
// Strong files: read back by the independent reader of StrongReference.h, round trips at the
// chunk edges, every kind of damage, and an earlier run's copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "Helpers.h"
#include "StrongReference.h"
#include "platform/Crypto.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

std::size_t Chunks(std::size_t n) { return n == 0 ? 1 : (n + kStrongChunk - 1) / kStrongChunk; }

void EncryptStrong(const std::string& target, const std::string& key = "geheim") {
    Window w(key);
    w->session.StrongChosen = true;
    w.Encrypt(target);
    ASSERT_TRUE(w.left.empty());
}

TEST(StrongFormat, IndependentReaderAndRoundTripAtChunkEdges) {
    const std::size_t sizes[] = {
        0, 1, kStrongChunk - 1, kStrongChunk, kStrongChunk + 1, 17 * kStrongChunk + 100};
    TempDir target;
    unsigned seed = 7;
    for (std::size_t n : sizes)
        WriteFile(target / ("f" + std::to_string(n) + ".dat"), Bytes(n, seed++));
    // Any Unicode password, and an extension outside Windows-1252.
    const std::string key = "w\xC3\xA1\x63htw\xE2\x82\xAC\xE2\x98\x83";  // "wáchtw€☃"
    WriteFile(target / "snow.\xE2\x98\x83", "sneeuw");
    const auto before = Snapshot(target.path());
    EncryptStrong(target.path(), key);

    std::string salt;
    std::set<std::string> nonces;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::size_t n = sizes[i];
        const std::string file = ReadFile(target / ("f" + std::to_string(n) + "_dat.kol"));
        EXPECT_EQ(file.size(), 79 + 3 + n + 16 * Chunks(n)) << n;
        const Reading r = ReadStrong(file, key);
        EXPECT_EQ(r.iterations, 600000u);
        EXPECT_EQ(r.ext, "dat");
        EXPECT_EQ(r.chunks, Chunks(n)) << n;
        EXPECT_TRUE(r.plain == Bytes(n, static_cast<unsigned>(7 + i))) << n;
        // One salt for the run, a nonce of its own for each file.
        if (salt.empty()) salt = r.salt;
        EXPECT_EQ(r.salt, salt);
        nonces.insert(r.nonce);
    }
    EXPECT_EQ(nonces.size(), std::size(sizes));
    EXPECT_EQ(ReadStrong(ReadFile(target / "snow_\xE2\x98\x83.kol"), key).plain, "sneeuw");

    Window w(key);  // the format is recognised, not chosen
    w.Decrypt(target.path());
    EXPECT_TRUE(w.left.empty());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

// Offsets below are in a file made from 2 * 65536 + 10 plain bytes of a.txt: a 82-byte header,
// two full chunks of 65552 bytes and a final one of 26.
constexpr std::size_t kH = 82, kSealed = kStrongChunk + 16;

struct Damage {
    const char* what;
    std::function<void(std::string&)> change;
    LeftReason reason;
};

void Iterations(std::string& f, std::uint32_t n) {
    for (int i = 0; i < 4; ++i)
        f[10 + static_cast<std::size_t>(i)] = static_cast<char>(n >> (24 - 8 * i));
}

TEST(StrongFormat, DamageAndWrongKeysLeaveTheFileAsItIs) {
    constexpr LeftReason kWrong = LeftReason::WrongKey, kBad = LeftReason::Damaged;
    const Damage cases[] = {
        {"wrong password", [](std::string&) {}, kWrong},
        // The header's MAC covers every field: a wrong key is all a reader can tell.
        {"bit in the salt", [](std::string& f) { f[20] ^= 0x01; }, kWrong},
        {"bit in the extension", [](std::string& f) { f[48] ^= 0x20; }, kWrong},
        {"bit in the MAC", [](std::string& f) { f[kH - 1] ^= 0x80; }, kWrong},
        {"iterations 100,000", [](std::string& f) { Iterations(f, 100000); }, kWrong},
        {"iterations 10,000,000", [](std::string& f) { Iterations(f, 10000000); }, kWrong},
        {"iterations 99,999", [](std::string& f) { Iterations(f, 99999); }, kBad},
        {"iterations 10,000,001", [](std::string& f) { Iterations(f, 10000001); }, kBad},
        {"cut inside the header", [](std::string& f) { f.resize(kH - 1); }, kBad},
        {"bit in chunk data", [](std::string& f) { f[kH + kSealed + 5] ^= 0x04; }, kBad},
        {"bit in a tag", [](std::string& f) { f[kH + kSealed - 1] ^= 0x01; }, kBad},
        {"bit in the final tag", [](std::string& f) { f.back() ^= 0x01; }, kBad},
        // The second chunk is now read as the final one, with the wrong nonce.
        {"cut at a chunk boundary", [](std::string& f) { f.resize(kH + 2 * kSealed); }, kBad},
        {"cut to the header", [](std::string& f) { f.resize(kH); }, kBad},
        {"a byte after the final chunk", [](std::string& f) { f += 'x'; }, kBad},
        {"a whole chunk after the final one", [](std::string& f) { f += f.substr(kH, kSealed); },
         kBad},
    };
    TempDir source;
    const std::string plain = Bytes(2 * kStrongChunk + 10, 3);
    WriteFile(source / "a.txt", plain);
    EncryptStrong(source.path());
    const std::string good = ReadFile(source / "a_txt.kol");
    ASSERT_EQ(good.size(), kH + 2 * kSealed + 26);

    for (const auto& c : cases) {
        TempDir target;
        std::string bytes = good;
        c.change(bytes);
        WriteFile(target / "a_txt.kol", bytes);
        const auto before = Snapshot(target.path());
        Window w(std::string(c.what) == "wrong password" ? "fout" : "geheim");
        w.Decrypt(target.path());
        EXPECT_TRUE(Snapshot(target.path()) == before) << c.what;
        ASSERT_EQ(w.left.size(), 1u) << c.what;
        EXPECT_EQ(w.left[0].second, c.reason) << c.what;
        EXPECT_EQ(w.dialogs.shown.size(), c.reason == LeftReason::WrongKey ? 1u : 0u) << c.what;
    }
}

// A run killed after naming its copy leaves original and copy side by side. The copy holds
// random bytes of its own, so it is recognised by opening it: only this file's content under
// this password lets the next run finish the work.
TEST(StrongFormat, EarlierRunsCopyIsRecognisedByItsContent) {
    const struct {
        const char* copyKey;
        const char* originalNow;  // the original's content when the next run comes
        bool finished;
    } cases[] = {
        {"geheim", "inhoud", true},
        {"geheim", "anders", false},  // same size, other bytes
        {"ander", "inhoud", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.copyKey) + " " + c.originalNow);
        TempDir earlier, target;
        WriteFile(earlier / "a.txt", "inhoud");
        EncryptStrong(earlier.path(), c.copyKey);
        const std::string copy = ReadFile(earlier / "a_txt.kol");
        WriteFile(target / "a.txt", c.originalNow);
        fs::rename(PathOf(earlier / "a_txt.kol"), PathOf(target / "a_txt.kol"));

        Window w;
        w->session.StrongChosen = true;
        w.Encrypt(target.path());
        EXPECT_EQ(fs::exists(PathOf(target / "a.txt")), !c.finished);
        EXPECT_TRUE(ReadFile(target / "a_txt.kol") == copy);  // never rewritten
        EXPECT_EQ(w->session.FilesDone, c.finished ? 1 : 0);
        const Left expected = c.finished ? Left{} : Left{{target / "a.txt", LeftReason::NameTaken}};
        EXPECT_EQ(w.left, expected);
    }
}

}  // namespace
}  // namespace kolvik::test
