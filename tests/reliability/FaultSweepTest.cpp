// SPDX-License-Identifier: GPL-3.0-or-later
// A failure at every call that changes the disk, one run each, through the real walk and publish
// sequence: every original stays intact or its new copy round-trips to it, no temporary file is
// left, and nothing beside the tree changes.
#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "FaultSweep.h"
#include "Reference.h"
#include "StrongReference.h"

namespace kolvik::test {

std::string SceneName(const testing::TestParamInfo<Scene>& info) {
    const Scene& s = info.param;
    return std::string(s.decrypting ? "Decrypt" : "Encrypt") +
           (s.singleFiles ? "SingleFiles" : "Folder") +
           (s.noLinks     ? "ClaimedNames"
            : s.noTmpfile ? "NamedTemporary"
                          : "") +
           (s.strong ? "Strong" : "");
}

namespace {
namespace fs = std::filesystem;

struct Planted {
    std::string plain, encrypted;  // relative paths
    std::string content, encryptedContent, strongContent;
};

// 50 files in three folders: mostly small, sizes around the progress step, and one larger than
// a stream block so that its copy takes several writes. The strong form is written from the
// layout at the least cost the test window reads, with one salt: one key derivation for all.
const std::vector<Planted>& Tree() {
    static const std::vector<Planted> tree = [] {
        std::vector<Planted> out;
        const auto add = [&](const std::string& folder, const std::string& stem,
                             const std::string& ext, std::size_t size) {
            const std::string content = Bytes(size, static_cast<unsigned>(out.size() + 1));
            // The encrypted name worked by hand from the name rule.
            out.push_back({folder + stem + (ext.empty() ? "" : "." + ext),
                           folder + stem + "_" + ext + ".kol", content,
                           RefEncrypted("geheim", ext, content),
                           WriteStrongRef(content, "geheim", {.ext = ext})});
        };
        const std::size_t sizes[] = {0, 1, 999, 1000, 1001, 4096, 77};
        for (int i = 0; i < 30; ++i)
            add("", "f" + std::to_string(i), i % 5 == 0 ? "" : "txt", sizes[i % 7]);
        for (int i = 0; i < 17; ++i)
            add("sub/", "g" + std::to_string(i), "doc", sizes[(i + 3) % 7]);
        add("sub/", "big", "bin", (1 << 20) + 5);
        add("sub/deep/", "h", "tar.gz", 12);
        add("sub/deep/", "leeg", "", 0);
        return out;
    }();
    return tree;
}

// Content and modification time of every file beside the tree.
std::map<std::string, std::string> Beside(const std::string& folder) {
    auto out = Snapshot(folder);
    for (auto& [path, entry] : out)
        entry += " " + std::to_string(
                           fs::last_write_time(fs::path(folder) / path).time_since_epoch().count());
    return out;
}

// A whole file in one read: the sweep reads a megabyte after every run.
struct Sweep {
    explicit Sweep(const Scene& s) : s_(s) {
        fs::create_directory(root_ / "beside");
        WriteFile(root_ / "beside/near.txt", "next to the tree");
        WriteFile(root_ / "beside/near_txt.kol", Tree()[1].encryptedContent);
        beside_ = Beside(root_ / "beside");
    }

    // Runs over a fresh tree with plan in place.
    void Run(FaultPlan& plan) {
        fs::remove_all(tree());
        std::vector<fs::path> paths;
        for (std::size_t i = 0; i < s_.files; ++i) {
            const auto& f = Tree()[i];
            paths.push_back(tree() + "/" + (s_.decrypting ? f.encrypted : f.plain));
            fs::create_directories(paths.back().parent_path());
            WriteFile(paths.back().string(), s_.decrypting ? Encrypted(i) : f.content);
        }
        AsOnFileSystem(plan, s_);
        plan.syncsFree = true;
        FaultInjection inject(plan);
        Engine w;
        w.strong = s_.strong;
        if (!s_.singleFiles) return w.Run(tree(), s_.decrypting);
        for (const auto& p : paths)
            w.RunFile(p.parent_path().string(), p.filename().string(), s_.decrypting);
    }

    // Exactly one form of each file, with the right bytes, and nothing else anywhere.
    void ExpectIntact(const std::string& what) {
        std::size_t found = 0;
        for (const auto& e : fs::recursive_directory_iterator(tree())) found += !e.is_directory();
        EXPECT_EQ(found, s_.files) << what;
        for (std::size_t i = 0; i < s_.files; ++i) {
            const auto& f = Tree()[i];
            const bool plain = fs::exists(tree() + "/" + f.plain);
            ASSERT_NE(plain, fs::exists(tree() + "/" + f.encrypted)) << what << " " << f.plain;
            const std::string& name = plain ? f.plain : f.encrypted;
            const std::string now = ReadFile(tree() + "/" + name);
            // A strong copy that this run wrote is random but must open to the original.
            if (!plain && s_.strong && !s_.decrypting) {
                EXPECT_TRUE(ReadStrong(now, "geheim").plain == f.content) << what << " " << name;
                continue;
            }
            EXPECT_TRUE(now == (plain ? f.content : Encrypted(i))) << what << " " << name;
        }
        EXPECT_TRUE(Beside(root_ / "beside") == beside_) << what;
        EXPECT_EQ(std::distance(fs::directory_iterator(root_.path()), fs::directory_iterator()), 2)
            << what;
    }

    std::string tree() const { return root_ / "tree"; }
    const std::string& Encrypted(std::size_t i) const {
        return s_.strong ? Tree()[i].strongContent : Tree()[i].encryptedContent;
    }

    Scene s_;
    TempDir root_;
    std::map<std::string, std::string> beside_;
};

const char* CallName(Call c) {
    static const char* const names[] = {"create", "write",    "fsync", "syncfs",
                                        "fchmod", "futimens", "link",  "rename",
                                        "unlink", "list",     "none"};
    return names[static_cast<int>(c)];
}

TEST_P(FaultSweep, EveryCallFailsOnceWithEachError) {
    Sweep sweep(GetParam());
    FaultPlan clean;
    sweep.Run(clean);
    sweep.ExpectIntact("clean run");
    // Every file was transformed, so each step of the publish sequence was reached.
    const int files = static_cast<int>(GetParam().files);
    // A copy made with its original's permission bits needs no change of mode.
    for (const Call c : {Call::Create, Call::Futimens, Call::Unlink})
        EXPECT_GE(clean.Seen(c), files) << CallName(c);
    EXPECT_GT(clean.Seen(Call::Fsync) + clean.Seen(Call::Syncfs), 0);
    if (GetParam().noLinks) {
        // Per file a scratch copy, a claim of its new name, and the rename over that claim.
        EXPECT_EQ(clean.Seen(Call::Create), 2 * files);
        EXPECT_EQ(clean.Seen(Call::Rename), files);
    }
    for (int at = 1; at <= clean.total; ++at) {
        for (const int error : {ENOSPC, EIO, EACCES}) {
            FaultPlan plan{.failAt = at, .error = error};
            sweep.Run(plan);
            ASSERT_NE(plan.firedAt, Call::Count) << "call " << at;
            sweep.ExpectIntact("call " + std::to_string(at) + " (" + CallName(plan.firedAt) +
                               ") errno " + std::to_string(error));
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace kolvik::test
