// SPDX-License-Identifier: GPL-3.0-or-later
// Strong files: Kolvik's read back by the independent reader of StrongReference.h and the
// independent writer's read by Kolvik, round trips at the chunk edges, every kind of damage,
// names from a header, and an earlier run's copy.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "EngineKit.h"
#include "StrongReference.h"
#include "engine/NameRules.h"
#include "platform/Crypto.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

std::size_t Chunks(std::size_t n) { return n == 0 ? 1 : (n + kStrongChunk - 1) / kStrongChunk; }

// The reference program's word on the reader's key: argon2 zoutzoutzoutzout -id -t 3 -m 16
// -p 1 -l 32, given "wachtwoord" on its input.
TEST(StrongFormat, ReferenceMasterKeyIsTheArgon2Programs) {
    StrongFields f;
    f.salt = "zoutzoutzoutzout";
    f.passes = 3;
    const auto m = RefMasterKey("wachtwoord", f);
    EXPECT_EQ(std::string(m.begin(), m.end()),
              std::string("\x8b\xf5\x87\x97\xde\x1e\xd3\x4c\x61\xc4\x12\xc3\x8b\xa5\x4b\x35"
                          "\xa1\x9f\x5b\x4b\xa5\x32\x89\x00\x08\x18\xc1\xa6\x0d\x7d\x22\xb5",
                          32));
}

TEST(StrongFormat, IndependentReaderAndRoundTripAtChunkEdges) {
    const std::size_t sizes[] = {0,
                                 1,
                                 kStrongChunk - 1,
                                 kStrongChunk,
                                 kStrongChunk + 1,
                                 2 * kStrongChunk,
                                 17 * kStrongChunk + 100};  // past one read block
    TempDir target;
    unsigned seed = 7;
    for (std::size_t n : sizes)
        WriteFile(target / ("f" + std::to_string(n) + ".dat"), Bytes(n, seed++));
    // Any Unicode password, and an extension outside Windows-1252.
    const std::string key = "w\xC3\xA1\x63htw\xE2\x82\xAC\xE2\x98\x83";  // "wáchtw€☃"
    WriteFile(target / "snow.\xE2\x98\x83", "sneeuw");
    const auto before = Snapshot(target.path());
    Engine(key).EncryptStrong(target.path());

    std::set<std::string> salts, nonces;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::size_t n = sizes[i];
        const std::string file = ReadFile(target / ("f" + std::to_string(n) + "_dat.kol"));
        EXPECT_EQ(file.size(), 85 + n + 16 * Chunks(n)) << n;
        const Reading r = ReadStrong(file, key);
        // The cost the test window writes with.
        EXPECT_EQ(std::tie(r.fields.version, r.fields.memoryKiB, r.fields.passes, r.fields.lanes),
                  std::make_tuple(2, 65536u, 1u, 1u));
        EXPECT_EQ(r.fields.ext, "dat");
        EXPECT_TRUE(r.plain == Bytes(n, static_cast<unsigned>(7 + i))) << n;
        // One salt for the run, a nonce of its own for each file.
        salts.insert(r.fields.salt);
        nonces.insert(r.fields.nonce);
    }
    EXPECT_EQ(salts.size(), 1u);
    EXPECT_EQ(nonces.size(), std::size(sizes));
    EXPECT_EQ(ReadStrong(ReadFile(target / "snow_\xE2\x98\x83.kol"), key).plain, "sneeuw");

    Engine w(key);  // the format is recognised, not chosen
    w.Decrypt(target.path());
    EXPECT_TRUE(w.events.left.empty());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

// Offsets below are in the independent writer's version 2 file of 2 * 65536 + 10 plain bytes
// with extension "txt": an 85-byte header, two full chunks of 65552 bytes and a final one of 26.
constexpr std::size_t kH = 85, kSealed = kStrongChunk + 16;
const std::string kPlain = Bytes(2 * kStrongChunk + 10, 3);

struct Damage {
    const char* what;
    std::function<void(std::string&)> change;
    std::optional<LeftReason> reason;  // none: it opens
};

std::function<void(std::string&)> Set(std::size_t at, const std::string& bytes) {
    return [at, bytes](std::string& f) { f.replace(at, bytes.size(), bytes); };
}

std::function<void(std::string&)> Replace(const std::string& by) {
    return [by](std::string& f) { f = by; };
}

// A version 1 file whose header claims another count of iterations than it was written with.
std::function<void(std::string&)> V1Claiming(std::uint32_t iterations) {
    const StrongFields v1{.version = 1, .iterations = 100'001};
    return Replace(WriteStrongRef(kPlain, "geheim", v1).replace(10, 4, PutBe32(iterations)));
}

TEST(StrongFormat, OpensWhatTheFormatAllowsAndLeavesDamageAndWrongKeys) {
    constexpr LeftReason kWrong = LeftReason::WrongKey, kBad = LeftReason::Damaged;
    const Damage cases[] = {
        {"as written: memory 65,536, 1 pass, 1 lane", [](std::string&) {}, std::nullopt},
        {"version 1", V1Claiming(100001), std::nullopt},
        {"empty file", Replace(WriteStrongRef("", "geheim", {})), std::nullopt},
        {"wrong password", [](std::string&) {}, kWrong},
        // The header's MAC covers every field: a wrong key is all a reader can tell.
        {"bit in the salt", [](std::string& f) { f[20] ^= 0x01; }, kWrong},
        {"bit in the extension", [](std::string& f) { f[51] ^= 0x20; }, kWrong},
        {"bit in the MAC", [](std::string& f) { f[kH - 1] ^= 0x80; }, kWrong},
        {"lanes 4", Set(16, "\x04"), kWrong},
        {"derivation 0x02", Set(10, "\x02"), kBad},
        {"memory 65,535", Set(11, PutBe32(65535)), kBad},
        {"memory 1,048,577", Set(11, PutBe32(1048577)), kBad},
        {"passes 0", Set(15, std::string(1, '\0')), kBad},
        {"passes 11", Set(15, "\x0b"), kBad},
        {"lanes 0", Set(16, std::string(1, '\0')), kBad},
        {"lanes 5", Set(16, "\x05"), kBad},
        {"version 1, iterations 100,000", V1Claiming(100000), kWrong},
        {"version 1, iterations 99,999", V1Claiming(99999), kBad},
        {"version 1, iterations 10,000,001", V1Claiming(10000001), kBad},
        {"cut inside the fixed header", [](std::string& f) { f.resize(49); }, kBad},
        {"cut inside the MAC", [](std::string& f) { f.resize(kH - 1); }, kBad},
        {"bit in chunk data", [](std::string& f) { f[kH + kSealed + 5] ^= 0x04; }, kBad},
        {"bit in a tag", [](std::string& f) { f[kH + kSealed - 1] ^= 0x01; }, kBad},
        {"bit in the final tag", [](std::string& f) { f.back() ^= 0x01; }, kBad},
        // The second chunk is now read as the final one, with the wrong nonce.
        {"cut at a chunk boundary", [](std::string& f) { f.resize(kH + 2 * kSealed); }, kBad},
        {"cut to the header", [](std::string& f) { f.resize(kH); }, kBad},
        {"a byte after the final chunk", [](std::string& f) { f += 'x'; }, kBad},
        {"a whole chunk after the final one", [](std::string& f) { f += f.substr(kH, kSealed); },
         kBad},
        // Tags that verify, but only an empty file may end in an empty chunk.
        {"empty final chunk after another",
         Replace(WriteStrongRef(kPlain.substr(0, kStrongChunk), "geheim", {}, true)), kBad},
    };
    const std::string good = WriteStrongRef(kPlain, "geheim", {});
    ASSERT_EQ(good.size(), kH + 2 * kSealed + 26);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir target;
        std::string bytes = good;
        c.change(bytes);
        WriteFile(target / "a_txt.kol", bytes);
        const auto before = Snapshot(target.path());
        Engine w(std::string(c.what) == "wrong password" ? "fout" : "geheim");
        w.Decrypt(target.path());
        if (!c.reason) {
            EXPECT_TRUE(w.events.left.empty());
            const std::string plain = std::string(c.what) == "empty file" ? "" : kPlain;
            EXPECT_TRUE((Snapshot(target.path()) == Tree{{"a.txt", "file:" + plain}}));
            continue;
        }
        EXPECT_TRUE(Snapshot(target.path()) == before);
        ASSERT_EQ(w.events.left.size(), 1u);
        EXPECT_EQ(w.events.left[0].second, *c.reason);
        EXPECT_EQ(w.events.asked.size(), c.reason == kWrong ? 1u : 0u);
    }
}

// An extension from a header is checked as strictly as any new name, on every system; the
// header wins over the name, so the name alone proves nothing.
TEST(StrongFormat, NamesFromTheHeaderAreCheckedStrictly) {
    TempDir target;
    Left expected;
    Tree after;
    // plain nullptr: left, as no usable name can be made.
    const auto plant = [&](const std::string& name, const std::string& ext, const char* plain) {
        StrongFields f;
        f.ext = ext;
        const std::string file = WriteStrongRef("inhoud", "geheim", f);
        WriteFile(target / name, file);
        if (!plain) expected.emplace_back(target / name, LeftReason::NameUnusable);
        after[plain ? plain : name] = "file:" + (plain ? "inhoud" : file);
    };
    plant("a_txt.kol", "txt", "a.txt");
    plant("b_txt.kol", "tar.gz", "b.tar.gz");
    plant("c_txt.kol", "\xC3\xA9", "c.\xC3\xA9");  // "é"
    plant("o.kol_.kol", "", nullptr);
    // U+0085 is a C1 control; "\xff" is not UTF-8.
    const char* const unusable[] = {"/",   "\\",  ":",     "\n",        "\x1b", "\x7f",
                                    "kol", "KOL", "x.Kol", "a\xC2\x85", "\xff"};
    for (std::size_t i = 0; i < std::size(unusable); ++i)
        plant("d" + std::to_string(i) + "_txt.kol", unusable[i], nullptr);
    Engine w;
    w.Decrypt(target.path());
    std::sort(w.events.left.begin(), w.events.left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(w.events.left, expected);
    EXPECT_TRUE(Snapshot(target.path()) == after);

    // Nor does encryption make a file whose name could not come back.
    TempDir plain;
    WriteFile(plain / "p.b\x7f", "inhoud");
    Engine e;
    e.EncryptStrong(plain.path());
    EXPECT_EQ(e.events.left, (Left{{plain / "p.b\x7f", LeftReason::NameUnusable}}));
}

// A run killed after naming its copy leaves original and copy side by side. The copy holds
// random bytes of its own, so it is recognised by opening it: only this file's content under
// this password lets the next run finish the work, whichever version wrote it.
TEST(StrongFormat, EarlierRunsCopyIsRecognisedByItsContent) {
    const struct {
        const char* copyKey;
        const char* originalNow;  // the original's content when the next run comes
        int version;              // of the earlier copy; 0: made by Kolvik
        bool finished;
    } cases[] = {
        {"geheim", "inhoud", 0, true}, {"geheim", "anders", 0, false},  // same size, other bytes
        {"ander", "inhoud", 0, false}, {"geheim", "inhoud", 1, true},
        {"geheim", "inhou", 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + c.copyKey + " " + c.originalNow);
        TempDir earlier, target;
        std::string copy;
        if (c.version == 0) {
            WriteFile(earlier / "a.txt", "inhoud");
            Engine(c.copyKey).EncryptStrong(earlier.path());
            copy = ReadFile(earlier / "a_txt.kol");
        } else {
            copy = WriteStrongRef("inhoud", c.copyKey, {.version = 1, .iterations = 100'000});
        }
        WriteFile(target / "a.txt", c.originalNow);
        WriteFile(target / "a_txt.kol", copy);

        Engine w;
        w.EncryptStrong(target.path());
        EXPECT_EQ(fs::exists(PathOf(target / "a.txt")), !c.finished);
        EXPECT_TRUE(ReadFile(target / "a_txt.kol") == copy);  // never rewritten
        EXPECT_EQ(w.stats.FilesDone, c.finished ? 1 : 0);
        const Left expected = c.finished ? Left{} : Left{{target / "a.txt", LeftReason::NameTaken}};
        EXPECT_EQ(w.events.left, expected);
    }
}

}  // namespace
}  // namespace kolvik::test
