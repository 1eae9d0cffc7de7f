// A failure at every call that changes the disk, one run each, through the real walk and publish
// sequence: every original stays intact or its new copy round-trips to it, no temporary file is
// left, and nothing beside the tree changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

struct Planted {
    std::string plain, encrypted;  // relative paths
    std::string content, encryptedContent;
};

// 50 files in three folders: mostly small, sizes around the progress step, and one larger than
// a stream block so that its copy takes several writes.
const std::vector<Planted>& Tree() {
    static const std::vector<Planted> tree = [] {
        std::vector<Planted> out;
        const auto add = [&](const std::string& folder, const std::string& stem,
                             const std::string& ext, std::size_t size) {
            const std::string encrypted =
                stem + "_" + ext + ".kol";  // worked by hand from the name rule
            const std::string content = Bytes(size, static_cast<unsigned>(out.size() + 1));
            out.push_back({folder + stem + (ext.empty() ? "" : "." + ext), folder + encrypted,
                           content, RefEncrypted("geheim", ext, content)});
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
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        out[e.path().string()] = std::to_string(st.st_mtim.tv_sec) + "." +
                                 std::to_string(st.st_mtim.tv_nsec) +
                                 (e.is_regular_file() ? ReadFile(e.path().string()) : "");
    }
    return out;
}

// A whole file in one read: the sweep reads a megabyte after every run.
std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string out(fs::file_size(path), '\0');
    in.read(out.data(), static_cast<std::streamsize>(out.size()));
    return out;
}

struct Scene {
    bool decrypting, noTmpfile, singleFiles;
    std::size_t files;  // the first files of Tree()
};

std::string SceneName(const Scene& s) {
    return std::string(s.decrypting ? "Decrypt" : "Encrypt") +
           (s.singleFiles ? "SingleFiles" : "Folder") + (s.noTmpfile ? "NamedTemporary" : "");
}
void PrintTo(const Scene& s, std::ostream* out) {
    *out << SceneName(s) << " of " << s.files << " files";
}

class Sweep {
  public:
    explicit Sweep(const Scene& s) : s_(s) {
        fs::create_directory(root_ / "beside");
        WriteFile(root_ / "beside/near.txt", "next to the tree");
        WriteFile(root_ / "beside/near_txt.kol", Tree()[1].encryptedContent);
        beside_ = Beside(root_ / "beside");
    }

    // Runs over a fresh tree with plan in place.
    void Run(FaultPlan& plan) {
        fs::remove_all(tree());
        for (std::size_t i = 0; i < s_.files; ++i) {
            const auto& f = Tree()[i];
            const std::string path = tree() + "/" + (s_.decrypting ? f.encrypted : f.plain);
            fs::create_directories(fs::path(path).parent_path());
            WriteFile(path, s_.decrypting ? f.encryptedContent : f.content);
        }
        plan.tmpfileUnsupported = s_.noTmpfile;
        plan.syncsFree = true;
        FaultInjection inject(plan);
        Window w;
        if (!s_.singleFiles) return s_.decrypting ? w.Decrypt(tree()) : w.Encrypt(tree());
        w->HasFileTarget = true;
        w->DecryptMode = s_.decrypting;
        for (std::size_t i = 0; i < s_.files; ++i) {
            const fs::path p =
                tree() + "/" + (s_.decrypting ? Tree()[i].encrypted : Tree()[i].plain);
            std::string name = p.filename().string();
            if (s_.decrypting)
                w->DecryptFile(name, p.parent_path().string());
            else
                w->EncryptFile(name, p.parent_path().string());
        }
        w->FlushPendingOriginals();
    }

    // Exactly one form of each file, with the right bytes, and nothing else anywhere.
    void ExpectIntact(const std::string& what) {
        std::size_t found = 0;
        for (const auto& e : fs::recursive_directory_iterator(tree())) found += !e.is_directory();
        EXPECT_EQ(found, s_.files) << what;
        for (std::size_t i = 0; i < s_.files; ++i) {
            const auto& f = Tree()[i];
            const bool plain = fs::exists(tree() + "/" + f.plain);
            const bool encrypted = fs::exists(tree() + "/" + f.encrypted);
            ASSERT_NE(plain, encrypted) << what << " " << f.plain;
            if (plain)
                EXPECT_TRUE(Contents(tree() + "/" + f.plain) == f.content)
                    << what << " " << f.plain;
            else
                EXPECT_TRUE(Contents(tree() + "/" + f.encrypted) == f.encryptedContent)
                    << what << " " << f.encrypted;
        }
        EXPECT_TRUE(Beside(root_ / "beside") == beside_) << what;
        EXPECT_EQ(std::distance(fs::directory_iterator(root_.path()), fs::directory_iterator()), 2)
            << what;
    }

    std::string tree() const { return root_ / "tree"; }

  private:
    Scene s_;
    TempDir root_;
    std::map<std::string, std::string> beside_;
};

const char* CallName(Call c) {
    static const char* const names[] = {"create",   "write", "fsync",  "syncfs", "fchmod",
                                        "futimens", "link",  "rename", "unlink", "none"};
    return names[static_cast<int>(c)];
}

// Thousands of runs create and delete files: a memory-backed folder keeps that fast, and the
// calls under test are the same there.
class MemoryBackedTemp : public testing::Environment {
    void SetUp() override {
        if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
    }
};
const auto* const kMemoryBackedTemp = testing::AddGlobalTestEnvironment(new MemoryBackedTemp);

class FaultSweep : public testing::TestWithParam<Scene> {};

TEST_P(FaultSweep, EveryCallFailsOnceWithEachError) {
    Sweep sweep(GetParam());
    FaultPlan clean;
    sweep.Run(clean);
    sweep.ExpectIntact("clean run");
    // Every file was transformed, so each step of the publish sequence was reached.
    for (const Call c : {Call::Create, Call::Fchmod, Call::Futimens, Call::Unlink}) {
        EXPECT_GE(clean.seen[static_cast<int>(c)], static_cast<int>(GetParam().files))
            << CallName(c);
    }
    EXPECT_GT(
        clean.seen[static_cast<int>(Call::Fsync)] + clean.seen[static_cast<int>(Call::Syncfs)], 0);
    int injected = 0;
    for (int at = 1; at <= clean.total; ++at) {
        for (const int error : {ENOSPC, EIO, EACCES}) {
            FaultPlan plan;
            plan.failAt = at;
            plan.error = error;
            sweep.Run(plan);
            ASSERT_TRUE(plan.fired) << "call " << at;
            ++injected;
            sweep.ExpectIntact("call " + std::to_string(at) + " (" + CallName(plan.firedAt) +
                               ") errno " + std::to_string(error));
            if (HasFatalFailure()) return;
        }
    }
    RecordProperty("injected", injected);
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         testing::Values(Scene{false, false, false, 50},
                                         Scene{true, false, false, 50},
                                         Scene{false, true, false, 12},
                                         Scene{true, true, false, 12}, Scene{false, false, true, 8},
                                         Scene{true, true, true, 8}),
                         [](const auto& info) { return SceneName(info.param); });

TEST(FaultSweepStop, DiskFullAtTheTargetLevelStopsTheWalk) {
    Sweep sweep({false, false, false, 50});
    FaultPlan plan;
    plan.kind = Call::Write;
    plan.failAt = 1;
    plan.error = ENOSPC;
    sweep.Run(plan);
    sweep.ExpectIntact("disk full");
    EXPECT_TRUE(fs::exists(sweep.tree() + "/f1.txt"));      // the target's next file
    EXPECT_TRUE(fs::exists(sweep.tree() + "/sub/g0.doc"));  // nor below it
}

}  // namespace
}  // namespace kolvik::test
