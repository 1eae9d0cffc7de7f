// SPDX-License-Identifier: GPL-3.0-or-later
// What a strong run writes zeros over before space is freed: the originals it encrypted, unless
// another program can still read them, and the plain text of a strong file that did not open.
// The described format never overwrites. The file-call tables count the bytes written in place
// with nothing but zeros (overwritten) apart from all others (written).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "StrongReference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

TEST(Overwrite, OnlyWhatNoOtherProgramHasOpen) {
    const struct {
        const char* name;
        bool strong, held;  // vast.txt open for reading elsewhere
        std::optional<LeftReason> reported;
    } cases[] = {
        {"strong, open nowhere else", true, false, {}},
        {"strong, open elsewhere", true, true, LeftReason::NotOverwrittenInUse},
        {"described, open nowhere else", false, false, {}},
    };
    const std::string held = Bytes(5000, 1), big = Bytes((std::size_t{3} << 20) + 7, 2);
    for (const auto& c : cases) {
        TempDir target;
        WriteFile(target / "vast.txt", held);
        WriteFile(target / "leeg.txt", "");
        fs::create_directory(PathOf(target / "sub"));
        WriteFile(target / "sub/groot.bin", big);
        auto holder = c.held ? std::make_unique<HeldOpen>(target / "vast.txt") : nullptr;

        FaultPlan plan;
        Engine w;
        w.strong = c.strong;
        WithFaults(plan, [&] { w.Encrypt(target.path()); });
        // What the other program reads is still the file it opened. Windows deletes a file only
        // once that program has closed it too.
        if (holder) {
            EXPECT_TRUE(holder->Reads(held.size()) == held) << c.name;
            holder.reset();
        }

        // Encrypted all the same, and counted as done.
        const Tree names = {
            {"leeg_txt.kol", ""}, {"sub", "dir"}, {"sub/groot_bin.kol", ""}, {"vast_txt.kol", ""}};
        Tree found = Snapshot(target.path());
        for (auto& [name, content] : found) content = content == "dir" ? content : "";
        EXPECT_EQ(found, names) << c.name;
        EXPECT_EQ(w.stats.FilesDone, 3) << c.name;
        const std::size_t expected = c.strong ? big.size() + (c.held ? 0 : held.size()) : 0;
        EXPECT_EQ(plan.overwritten, static_cast<std::int64_t>(expected)) << c.name;
        const Left reports = c.reported ? Left{{target / "vast.txt", *c.reported}} : Left{};
        EXPECT_EQ(w.events.left, reports) << c.name;
        EXPECT_EQ(w.report.notOverwritten, c.reported ? 1 : 0) << c.name;
    }
}

// Decrypting a strong file leaves its cipher text, which needs no overwriting. A file damaged
// in its last chunk has chunks before it verified and written into the copy before the damage
// shows: all that was written is overwritten before the copy goes.
TEST(Overwrite, TheCopyOfAStrongFileThatDoesNotOpen) {
    const std::string plain = Bytes(40 * kStrongChunk + 10, 3);
    for (const bool damaged : {false, true}) {
        TempDir target;
        WriteFile(target / "a.bin", plain);
        Engine().EncryptStrong(target.path());
        std::string kol = ReadFile(target / "a_bin.kol");
        if (damaged) kol.back() = static_cast<char>(kol.back() ^ 1);  // in the last tag
        WriteFile(target / "a_bin.kol", kol);

        FaultPlan plan;
        Engine w;
        WithFaults(plan, [&] { w.Decrypt(target.path()); });
        EXPECT_GT(plan.written, 0) << damaged;
        EXPECT_EQ(plan.overwritten, damaged ? plan.written : 0) << damaged;
        const Tree expected =
            damaged ? Tree{{"a_bin.kol", "file:" + kol}} : Tree{{"a.bin", "file:" + plain}};
        EXPECT_EQ(Snapshot(target.path()), expected) << damaged;
    }
}

}  // namespace
}  // namespace kolvik::test
