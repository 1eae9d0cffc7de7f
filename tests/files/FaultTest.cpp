// A failure at each write, sync, naming and unlink of a run: every original stays intact or its
// new copy round-trips to it, and no temporary file is left.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

struct Original {
    const char* path;
    const char* ext;
    const char* encrypted;
    std::string content;
};

const std::vector<Original>& Originals() {
    static const std::vector<Original> originals = {{"a.txt", "txt", "a_txt.kol", Bytes((1 << 20) + 5, 1)},
            {"b.txt", "txt", "b_txt.kol", Bytes(1001, 2)},
            {"c", "", "c_.kol", ""},
            {"sub/d.doc", "doc", "sub/d_doc.kol", Bytes(77, 3)}};
    return originals;
}

// Worked out once: the reference is slow on purpose (it evaluates the formulas as written).
const std::string& Expected(const Original& o) {
    static std::map<std::string, std::string> cache;
    auto& e = cache[o.path];
    if (e.empty()) e = RefEncrypted("geheim", o.ext, o.content);
    return e;
}

void Plant(const TempDir& target) {
    fs::create_directory(target / "sub");
    for (const auto& o : Originals()) WriteFile(target / o.path, o.content);
}

// Exactly one of original and copy exists, and whichever it is holds the right bytes.
void ExpectIntact(const TempDir& target, const std::string& what) {
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(target.path())) files += !e.is_directory();
    EXPECT_EQ(files, Originals().size()) << what;  // nothing extra: no temporary file
    for (const auto& o : Originals()) {
        const bool plain = fs::exists(target / o.path), encrypted = fs::exists(target / o.encrypted);
        EXPECT_NE(plain, encrypted) << what << " " << o.path;
        if (plain) {
            EXPECT_TRUE(ReadFile(target / o.path) == o.content) << what << " " << o.path;
        }
        if (encrypted) {
            EXPECT_TRUE(ReadFile(target / o.encrypted) == Expected(o))
                << what << " " << o.encrypted;
        }
    }
}

struct Injected {
    Call kind;
    int error;
    bool noTmpfile;
};

const Injected kFaults[] = {
    {Call::Create, EACCES, false}, {Call::Write, ENOSPC, false}, {Call::Fsync, EIO, false},
    {Call::Syncfs, EIO, false},    {Call::Fchmod, EPERM, false}, {Call::Futimens, EIO, false},
    {Call::Link, ENOSPC, false},   {Call::Unlink, EIO, false},   {Call::Rename, EIO, true},
    {Call::Unlink, EACCES, true},
};

// Runs the direction over a fresh tree once per call of the kind, failing that call.
void EachFailure(bool decrypting, bool singleFiles) {
    for (const auto& f : kFaults) {
        for (int n = 1;; ++n) {
            const std::string what = "kind " + std::to_string(static_cast<int>(f.kind)) + " errno " +
                                     std::to_string(f.error) + " call " + std::to_string(n) +
                                     (decrypting ? " decrypt" : " encrypt") + (singleFiles ? " single" : "");
            TempDir target;
            Plant(target);
            if (decrypting) Window().Encrypt(target.path());
            FaultPlan plan;
            plan.kind = f.kind;
            plan.failAt = n;
            plan.error = f.error;
            plan.tmpfileUnsupported = f.noTmpfile;
            {
                FaultInjection inject(plan);
                Window w;
                w->HasFileTarget = singleFiles;
                w->DecryptMode = decrypting;
                if (singleFiles) {
                    for (const auto& o : Originals()) {
                        const fs::path p = target / (decrypting ? o.encrypted : o.path);
                        std::string name = p.filename().string();
                        if (decrypting) w->DecryptFile(name, p.parent_path().string());
                        else w->EncryptFile(name, p.parent_path().string());
                    }
                    w->FlushPendingOriginals();
                } else if (decrypting) {
                    w.Decrypt(target.path());
                } else {
                    w.Encrypt(target.path());
                }
            }
            ExpectIntact(target, what);
            if (!plan.fired) break;
            ASSERT_LT(n, 200) << what;
        }
    }
}

TEST(Faults, EncryptingAFolderTree) { EachFailure(false, false); }
TEST(Faults, DecryptingAFolderTree) { EachFailure(true, false); }
TEST(Faults, SingleFiles) {
    EachFailure(false, true);
    EachFailure(true, true);
}

TEST(Faults, DiskFullAtTheTargetLevelStopsTheWalk) {
    TempDir target;
    Plant(target);
    FaultPlan plan;
    plan.kind = Call::Write;
    plan.failAt = 1;
    plan.error = ENOSPC;
    FaultInjection inject(plan);
    Window w;
    w.Encrypt(target.path());
    EXPECT_TRUE(w->StopRequested);
    EXPECT_EQ(w->FilesDone, 0);
    EXPECT_TRUE(fs::exists(target / "sub/d.doc"));  // the walk did not go on below
}

}  // namespace
}  // namespace kolvik::test
