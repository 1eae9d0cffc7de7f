// Other programs act on the tree while a run is busy. Each case steps in at the exact file call
// where it hurts most (between a folder's listing and its descent, between a file's read and
// its deletion), never after a wait: the file layer's table of calls is the seam.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;
using posix::FileCalls;

// The real file calls, with the test stepping in at the moment the run makes one of them.
struct Moments {
    std::function<void(const char* name, int flags)> opening;  // before an openat
    std::function<void(const char* name)> statting;            // before an fstatat
    std::function<void(int fd)> readToEnd;                     // after a read that found the end
    bool leasesRefused = false;  // F_SETLEASE fails with EACCES, as where none is granted
    int leasesGranted = 0;
};

Moments* gMoments = nullptr;
const FileCalls& real = posix::RealFileCalls();

const FileCalls kSteppingIn = [] {
    FileCalls c = real;
    c.openat = [](int dir, const char* name, int flags, mode_t mode) {
        if (gMoments->opening) gMoments->opening(name, flags);
        return real.openat(dir, name, flags, mode);
    };
    c.fstatat = [](int dir, const char* name, struct stat* st, int flags) {
        if (gMoments->statting) gMoments->statting(name);
        return real.fstatat(dir, name, st, flags);
    };
    c.read = [](int fd, void* buf, size_t count) {
        const ssize_t got = real.read(fd, buf, count);
        if (got == 0 && count > 0 && gMoments->readToEnd) gMoments->readToEnd(fd);
        return got;
    };
    c.fcntl = [](int fd, int cmd, int arg) {
        const bool readLease = cmd == F_SETLEASE && arg == F_RDLCK;
        if (readLease && gMoments->leasesRefused) {
            errno = EACCES;
            return -1;
        }
        const int result = real.fcntl(fd, cmd, arg);
        if (readLease && result == 0) ++gMoments->leasesGranted;
        return result;
    };
    return c;
}();

struct SteppingIn {
    explicit SteppingIn(Moments& m) {
        gMoments = &m;
        posix::SetFileCalls(&kSteppingIn);
    }
    ~SteppingIn() {
        posix::SetFileCalls(nullptr);
        gMoments = nullptr;
    }
};

using Left = std::vector<std::pair<std::string, LeftReason>>;

// What the run's listener was told, in order.
struct LeftFiles {
    Left list;
    explicit LeftFiles(Window& w) {
        w->FileLeft = [this](const std::string& path, LeftReason r) { list.emplace_back(path, r); };
    }
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string Named(int fd) {
    std::error_code ec;
    return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

void WaitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer failed";
}

// Another program appending a line to a file: it opens the file while it is made, and writes
// at once, or only when told to.
class Writer {
  public:
    Writer(const std::string& path, const std::string& line, bool atOnce) : atOnce_(atOnce) {
        int opened[2], go[2];
        if (::pipe(opened) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe");
        child_ = ::fork();
        if (child_ == 0) {
            // Its open breaks a lease the run holds, and waits until the run gives it up.
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            char c = 0;
            bool ok = fd >= 0 && ::write(opened[1], "o", 1) == 1;
            if (ok && !atOnce) ok = ::read(go[0], &c, 1) == 1;
            ok = ok && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
            ::_exit(ok ? 0 : 1);
        }
        ::close(opened[1]);
        ::close(go[0]);
        char c = 0;
        opened_ = ::read(opened[0], &c, 1) == 1;
        ::close(opened[0]);
        go_ = go[1];
        if (atOnce) Finish();
    }
    ~Writer() { Finish(); }
    bool Opened() const { return opened_; }
    // Lets it write, and waits until it has.
    void Finish() {
        if (child_ <= 0) return;
        if (!atOnce_ && opened_) (void)!::write(go_, "g", 1);  // it waits for this
        ::close(go_);
        WaitFor(child_);
        child_ = 0;
    }

  private:
    bool atOnce_;
    pid_t child_ = 0;
    int go_ = -1;
    bool opened_ = false;
};

TEST(Race, AFolderSwappedForALinkBetweenListingAndDescentIsNotEntered) {
    TempDir root;
    const std::string top = root / "top", outside = root / "outside";
    fs::create_directories(top + "/a");
    fs::create_directories(top + "/b");
    fs::create_directory(outside);
    WriteFile(top + "/a/x.txt", "x in a");
    WriteFile(top + "/b/y.txt", "y in b");
    WriteFile(outside + "/z.txt", "buiten de boom");
    const auto outsideBefore = Snapshot(outside), bBefore = Snapshot(top + "/b");
    Moments m;
    bool swapped = false;
    // a is done, so the walk has listed top and opens b next.
    m.opening = [&](const char* name, int flags) {
        if (swapped || std::string(name) != "b" || (flags & O_DIRECTORY) == 0 ||
            !fs::exists(top + "/a/x_txt.kol")) {
            return;
        }
        swapped = true;
        fs::rename(top + "/b", root / "b-weg");
        fs::create_directory_symlink(outside, top + "/b");
    };
    Window w;
    w->LoggingOn = true;
    LeftFiles left(w);
    {
        SteppingIn at(m);
        w.Encrypt(top);
    }
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(Snapshot(outside) == outsideBefore);
    EXPECT_TRUE(Snapshot(root / "b-weg") == bBefore);
    EXPECT_EQ(fs::read_symlink(top + "/b"), outside);
    EXPECT_EQ(ReadFile(top + "/a/x_txt.kol"), RefEncrypted("geheim", "txt", "x in a"));
    EXPECT_EQ(left.list, (Left{{top + "/b", LeftReason::FolderBecameLink}}));
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->Report.left, 1);
    const std::string log = w.Log();
    EXPECT_EQ(Count(log, "SKIP "), 1u) << log;
    EXPECT_NE(log.find("SKIP " + top + "/b\""), std::string::npos) << log;
}

// Appended to after it was read and before its deletion: as soon as the copy is read, or at the
// last look before the deletion. Without a lease only a writer that has written can be noticed;
// one writer only opens the file then and writes after the run: only the lease can tell.
enum class Writes { Here, Elsewhere, ElsewhereAfterTheRun };
enum class When { CopyRead, LastLook };
struct Change {
    const char* name;
    bool decrypting, singleFile, lease;
    Writes writes;
    When when;
};

class ChangedDuringTheRun : public testing::TestWithParam<Change> {};

TEST_P(ChangedDuringTheRun, TheOriginalKeepsWhatWasWrittenAndItsCopyGoes) {
    const Change c = GetParam();
    TempDir folder;
    const std::string plain = Bytes(3 << 20, 11), line = "nog een regel\n";
    const std::string name = c.decrypting ? "groot_txt.kol" : "groot.txt";
    const std::string copy = c.decrypting ? "groot.txt" : "groot_txt.kol";
    const std::string content = c.decrypting ? RefEncrypted("geheim", "txt", plain) : plain;
    const std::string path = folder / name;
    WriteFile(path, content);

    bool written = false;
    std::unique_ptr<Writer> elsewhere;
    const auto write = [&] {
        if (written) return;
        written = true;
        if (c.writes == Writes::Here) {
            std::FILE* f = std::fopen(path.c_str(), "ab");
            std::fputs(line.c_str(), f);
            std::fclose(f);
            return;
        }
        elsewhere = std::make_unique<Writer>(path, line, c.writes == Writes::Elsewhere);
        EXPECT_TRUE(elsewhere->Opened());
    };
    Moments m;
    m.leasesRefused = !c.lease;
    if (c.when == When::CopyRead) {
        m.readToEnd = [&](int fd) {
            if (Named(fd) == path) write();
        };
    } else {
        m.statting = [&](const char* n) {
            if (n == name && fs::exists(folder / copy)) write();
        };
    }
    Window w;
    LeftFiles left(w);
    {
        SteppingIn at(m);
        if (c.singleFile)
            w.RunFile(folder.path(), name, c.decrypting);
        else
            w.Run(folder.path(), c.decrypting);
    }
    ASSERT_TRUE(written);
    if (elsewhere) elsewhere->Finish();
    EXPECT_EQ(m.leasesGranted, c.lease ? 1 : 0);
    EXPECT_TRUE(Snapshot(folder.path()) ==
                (std::map<std::string, std::string>{{name, "file:" + content + line}}));
    EXPECT_EQ(left.list, (Left{{path, LeftReason::ChangedDuringRun}}));
    EXPECT_EQ(w->FilesSkipped, 1);
    EXPECT_EQ(w->FilesDone, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Race, ChangedDuringTheRun,
    testing::Values(Change{"NoLease", false, false, false, Writes::Here, When::LastLook},
                    Change{"Lease", false, false, true, Writes::Elsewhere, When::CopyRead},
                    Change{"LeaseWriterStillOpen", false, false, true, Writes::ElsewhereAfterTheRun,
                           When::CopyRead},
                    Change{"LeaseWriterOpensAtTheLastLook", false, false, true,
                           Writes::ElsewhereAfterTheRun, When::LastLook},
                    Change{"SingleFile", false, true, true, Writes::Elsewhere, When::CopyRead},
                    Change{"Decrypting", true, false, false, Writes::Here, When::LastLook}),
    [](const auto& info) { return std::string(info.param.name); });

// Kept open for writing by another program (here this one) all through the run: whatever it
// writes next would be lost with a deleted original.
TEST(Race, AFileOpenForWritingElsewhereIsLeftInUse) {
    for (const bool decrypting : {false, true}) {
        TempDir target;
        const auto plant = [&](const std::string& stem, const std::string& content) {
            const std::string name = decrypting ? stem + "_txt.kol" : stem + ".txt";
            WriteFile(target / name, decrypting ? RefEncrypted("geheim", "txt", content) : content);
            return name;
        };
        plant("a", "eerste");
        const std::string busy = plant("b", "in gebruik");
        plant("c", "derde");
        auto expected = Snapshot(target.path());
        expected.erase(decrypting ? "a_txt.kol" : "a.txt");
        expected.erase(decrypting ? "c_txt.kol" : "c.txt");
        expected[decrypting ? "a.txt" : "a_txt.kol"] =
            "file:" +
            (decrypting ? std::string("eerste") : RefEncrypted("geheim", "txt", "eerste"));
        expected[decrypting ? "c.txt" : "c_txt.kol"] =
            "file:" + (decrypting ? std::string("derde") : RefEncrypted("geheim", "txt", "derde"));
        const int held = ::open((target / busy).c_str(), O_WRONLY);
        ASSERT_GE(held, 0);
        Window w;
        LeftFiles left(w);
        w.Run(target.path(), decrypting);
        ::close(held);
        EXPECT_TRUE(Snapshot(target.path()) == expected) << decrypting;
        EXPECT_EQ(left.list, (Left{{target / busy, LeftReason::InUse}})) << decrypting;
        EXPECT_EQ(w->FilesDone, 2) << decrypting;
        EXPECT_EQ(w->FilesSkipped, 1) << decrypting;
    }
}

// A descriptor that closes itself.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd, o.fd);
        return *this;
    }
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Removes everything below an open folder, each entry relative to its parent.
void EmptyFolder(int dir) {
    DIR* listing = ::fdopendir(::dup(dir));
    if (listing == nullptr) return;
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = ::readdir(listing)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") entries.emplace_back(n, e->d_type == DT_DIR);
    }
    ::closedir(listing);
    for (const auto& [n, folder] : entries) {
        if (folder) {
            const Fd below(::openat(dir, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
            if (below.fd >= 0) EmptyFolder(below.fd);
        }
        ::unlinkat(dir, n.c_str(), folder ? AT_REMOVEDIR : 0);
    }
}

// A chain of folders made, entered and read relative to each parent: its path is far beyond
// what any path call accepts.
class DeepChain {
  public:
    DeepChain(std::string top, int depth) : top_(std::move(top)) {
        fs::create_directory(top_);
        Fd dir(::open(top_.c_str(), O_RDONLY | O_DIRECTORY));
        for (int level = 1; level <= depth; ++level) {
            ::mkdirat(dir.fd, Name(level).c_str(), 0755);
            dir = Fd(::openat(dir.fd, Name(level).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
            if (dir.fd < 0) throw std::runtime_error("level " + std::to_string(level));
        }
    }
    ~DeepChain() {
        const Fd dir(::open(top_.c_str(), O_RDONLY | O_DIRECTORY));
        EmptyFolder(dir.fd);
    }
    static std::string Name(int level) {
        char name[16];
        std::snprintf(name, sizeof name, "verdieping%02d", level % 100);  // 12 characters
        return name;
    }
    static std::size_t PathLength(const std::string& top, int level) {
        return top.size() + static_cast<std::size_t>(level) * (1 + Name(level).size());
    }
    void Write(int level, const std::string& name, const std::string& bytes) const {
        const Fd dir = Open(level);
        const Fd file(::openat(dir.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
        ASSERT_EQ(::write(file.fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The regular files at a level, with their content.
    std::map<std::string, std::string> Files(int level) const {
        const Fd dir = Open(level);
        std::map<std::string, std::string> out;
        DIR* listing = ::fdopendir(::dup(dir.fd));
        while (const dirent* e = listing ? ::readdir(listing) : nullptr) {
            if (e->d_type != DT_REG) continue;
            const Fd file(::openat(dir.fd, e->d_name, O_RDONLY));
            std::string content;
            char buf[4096];
            for (ssize_t n; (n = ::read(file.fd, buf, sizeof buf)) > 0;) content.append(buf, n);
            out[e->d_name] = content;
        }
        if (listing) ::closedir(listing);
        return out;
    }

  private:
    Fd Open(int level) const {
        Fd dir(::open(top_.c_str(), O_RDONLY | O_DIRECTORY));
        for (int l = 1; l <= level; ++l)
            dir = Fd(::openat(dir.fd, Name(l).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        return dir;
    }
    std::string top_;
};

TEST(Race, ATreeFarDeeperThanAnyPathIsWalkedFromEachOpenParent) {
    constexpr int kDepth = 700, kMiddle = 350;
    TempDir root;
    const std::string top = root / "top";
    ASSERT_GT(DeepChain::PathLength(top, kDepth), 2u * PATH_MAX);
    const DeepChain chain(top, kDepth);
    const std::string deep = Bytes(5000, 21), middle = "halverwege";
    chain.Write(kDepth, "diep.txt", deep);
    chain.Write(kMiddle, "midden.bin", middle);
    {
        Window w;
        LeftFiles left(w);
        w.Encrypt(top);
        EXPECT_TRUE(left.list.empty());
        EXPECT_EQ(w->FilesDone, 2);
        EXPECT_EQ(w->TotalBytes, static_cast<std::int64_t>(deep.size() + middle.size()));
    }
    using Files = std::map<std::string, std::string>;
    EXPECT_TRUE(chain.Files(kDepth) ==
                (Files{{"diep_txt.kol", RefEncrypted("geheim", "txt", deep)}}));
    EXPECT_TRUE(chain.Files(kMiddle) ==
                (Files{{"midden_bin.kol", RefEncrypted("geheim", "bin", middle)}}));
    {
        Window w;
        w.Decrypt(top);
        EXPECT_EQ(w->FilesDone, 2);
    }
    EXPECT_TRUE(chain.Files(kDepth) == (Files{{"diep.txt", deep}}));
    EXPECT_TRUE(chain.Files(kMiddle) == (Files{{"midden.bin", middle}}));
}

// exFAT through FUSE: no O_TMPFILE, renameat2 with RENAME_NOREPLACE is refused with EINVAL and
// linkat with EPERM. Each new name is claimed with an empty file and the copy renamed over it.
TEST(Race, WithoutHardLinksOrANonReplacingRenameATreeRoundTrips) {
    TempDir target;
    WriteFile(target / "a.txt", Bytes(3000, 31));
    WriteFile(target / "leeg", "");
    fs::create_directory(target / "sub");
    WriteFile(target / "sub/b.doc", Bytes(70000, 32));
    WriteFile(target / "sub/c", "c");
    const auto before = Snapshot(target.path());
    auto encrypted = before;
    for (const auto& [plain, kol, ext] : {std::tuple{"a.txt", "a_txt.kol", "txt"},
                                          {"leeg", "leeg_.kol", ""},
                                          {"sub/b.doc", "sub/b_doc.kol", "doc"},
                                          {"sub/c", "sub/c_.kol", ""}}) {
        encrypted[kol] = "file:" + RefEncrypted("geheim", ext, before.at(plain).substr(5));
        encrypted.erase(plain);
    }
    const auto run = [&](bool decrypting) {
        FaultPlan plan{
            .tmpfileUnsupported = true, .noReplaceUnsupported = true, .hardLinksUnsupported = true};
        FaultInjection inject(plan);
        Window w;
        w.Run(target.path(), decrypting);
        EXPECT_EQ(w->FilesDone, 4);
        // Per file a scratch copy, a claim of its new name, and the rename over that claim.
        EXPECT_EQ(plan.seen[static_cast<int>(Call::Create)], 8);
        EXPECT_EQ(plan.seen[static_cast<int>(Call::Rename)], 4);
    };
    run(false);
    EXPECT_TRUE(Snapshot(target.path()) == encrypted);
    run(true);
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

// What a killed run left goes; a live run's copy in the making and every file of the user stay.
TEST(Race, AKilledRunsScratchCopiesGoAndALiveRunsStay) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    WaitFor(gone);
    TempDir target;
    WriteFile(target / (".kolvik-tijdel-" + std::to_string(gone) + "-3"), "half af");
    WriteFile(target / ".kolvik-tijdel-1-3", "bezig");  // pid 1 lives as long as the system
    WriteFile(target / "tijdel.enc", "van de gebruiker");
    WriteFile(target / ".kolvik-tijdel-notities", "ook van de gebruiker");
    Window w;
    LeftFiles left(w);
    w.Encrypt(target.path());
    const std::map<std::string, std::string> expected = {
        {".kolvik-tijdel-1-3", "file:bezig"},
        {"tijdel_enc.kol", "file:" + RefEncrypted("geheim", "enc", "van de gebruiker")},
        // Named by the first dot: an empty stem and the rest as its extension.
        {"_kolvik-tijdel-notities.kol",
         "file:" + RefEncrypted("geheim", "kolvik-tijdel-notities", "ook van de gebruiker")}};
    EXPECT_TRUE(Snapshot(target.path()) == expected);
    EXPECT_EQ(w->FilesDone, 2);
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->Report.left, 0);
    EXPECT_TRUE(left.list.empty());
}

// Five files of 1000 bytes. Each encrypted copy takes three writes (header, data, trailing
// byte), each decrypted one a single write of the data.
void PlantFive(const TempDir& target, const std::string& folder, bool encrypted = false) {
    fs::create_directories(target / folder);
    for (const char* stem : {"f1", "f2", "f3", "f4", "f5"}) {
        const std::string plain = Bytes(1000, stem[1]);
        if (encrypted)
            WriteFile(target / (folder + stem + "_txt.kol"), RefEncrypted("geheim", "txt", plain));
        else
            WriteFile(target / (folder + stem + ".txt"), plain);
    }
}

// The third file's copy fails for want of space while the first two wait for their group's
// sync: once their originals are gone it fits.
struct FullOnce {
    const char* name;
    bool decrypting;
    int write;  // of the third file's copy
};

class DiskFullOnce : public testing::TestWithParam<FullOnce> {};

TEST_P(DiskFullOnce, ThePendingGroupMakesRoomAndTheFileIsTriedOnceMore) {
    const FullOnce f = GetParam();
    TempDir target;
    PlantFive(target, "", f.decrypting);
    std::map<std::string, std::string> expected;
    for (const char* stem : {"f1", "f2", "f3", "f4", "f5"}) {
        const std::string plain = Bytes(1000, stem[1]);
        if (f.decrypting)
            expected[std::string(stem) + ".txt"] = "file:" + plain;
        else
            expected[std::string(stem) + "_txt.kol"] =
                "file:" + RefEncrypted("geheim", "txt", plain);
    }
    const int writesPerFile = f.decrypting ? 1 : 3;
    FaultPlan plan{.kind = Call::Write, .failAt = 2 * writesPerFile + f.write, .error = ENOSPC};
    FaultInjection inject(plan);
    Window w;
    LeftFiles left(w);
    w.Run(target.path(), f.decrypting);
    EXPECT_EQ(plan.firedAt, Call::Write);
    EXPECT_TRUE(Snapshot(target.path()) == expected);
    EXPECT_EQ(w->FilesDone, 5);
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_TRUE(left.list.empty());
    EXPECT_TRUE(w.dialogs.shown.empty());
    EXPECT_FALSE(w->Report.diskFull);
}

INSTANTIATE_TEST_SUITE_P(Race, DiskFullOnce,
                         testing::Values(FullOnce{"Header", false, 1}, FullOnce{"Data", false, 2},
                                         FullOnce{"TrailingByte", false, 3},
                                         FullOnce{"Decrypting", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Race, ADiskThatStaysFullStopsTheRunAtTheFileThatDoesNotFit) {
    TempDir target;
    PlantFive(target, "sub/");
    fs::create_directory(target / "zz");
    WriteFile(target / "zz/later.txt", "daarna");
    auto expected = Snapshot(target.path());
    for (const char* stem : {"f1", "f2"}) {
        expected.erase("sub/" + std::string(stem) + ".txt");
        expected["sub/" + std::string(stem) + "_txt.kol"] =
            "file:" + RefEncrypted("geheim", "txt", Bytes(1000, stem[1]));
    }
    FaultPlan plan{.kind = Call::Write, .failAt = 2 * 3 + 1, .error = ENOSPC, .failOnward = true};
    FaultInjection inject(plan);
    Window w;
    LeftFiles left(w);
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == expected);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].text, "Schijf vol: " + target / "sub");
    EXPECT_TRUE(w->Report.diskFull);
    EXPECT_EQ(left.list, (Left{{target / "sub/f3.txt", LeftReason::DiskFull}}));
    EXPECT_EQ(w->FilesDone, 2);
    EXPECT_EQ(w->FilesSkipped, 1);
    // f1, f2, and f3 twice: before and after its group was completed. Nothing after it.
    EXPECT_EQ(plan.seen[static_cast<int>(Call::Create)], 4);
}

// Folders with a skip word are left whole with one line, never file by file.
struct SkipWord {
    const char* target;
    const char* leftFolder;  // relative to the target's parent
    bool okDone;
};

class SkipWordFolders : public testing::TestWithParam<SkipWord> {};

TEST_P(SkipWordFolders, OneLineForTheFolderAndItsFilesUntouched) {
    const SkipWord s = GetParam();
    TempDir root;
    const std::string target = root / s.target;
    fs::create_directories(target + "/photos_restored/deep");
    WriteFile(target + "/photos_restored/a.txt", "a");
    WriteFile(target + "/photos_restored/deep/b.txt", "b");
    WriteFile(target + "/ok.txt", "ok");
    auto expected = Snapshot(target);
    if (s.okDone) {
        expected.erase("ok.txt");
        expected["ok_txt.kol"] = "file:" + RefEncrypted("geheim", "txt", "ok");
    }
    Window w;
    w->LoggingOn = true;
    LeftFiles left(w);
    w.Encrypt(target);
    EXPECT_TRUE(Snapshot(target) == expected);
    EXPECT_EQ(left.list, (Left{{root / s.leftFolder, LeftReason::SkipWordFolder}}));
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->FilesDone, s.okDone ? 1 : 0);
    const std::string log = w.Log();
    EXPECT_EQ(Count(log, "SKIP "), 1u) << log;
    EXPECT_NE(log.find("SKIP " + root / s.leftFolder + "\""), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Race, SkipWordFolders,
                         testing::Values(SkipWord{"doel", "doel/photos_restored", true},
                                         SkipWord{"x_RESTORE", "x_RESTORE", false}),
                         [](const auto& info) {
                             return std::string(info.param.okDone ? "Below" : "Target");
                         });

// Once the pass ends, nothing of the tree is held open: not a folder, not a leased original.
TEST(Race, NoFileOfTheTreeStaysOpenAfterThePass) {
    TempDir target;
    fs::create_directories(target / "sub/deeper");
    WriteFile(target / "a.txt", Bytes(2000, 41));
    WriteFile(target / "sub/b.txt", Bytes(3, 42));
    WriteFile(target / "sub/deeper/c.txt", Bytes(9 << 20, 43));  // synced on its own
    WriteFile(target / "sub/deeper/new.txt", "after the mode press");
    Window w;
    SetMtime(target / "sub/deeper/new.txt", w->ModeTime);
    w.Encrypt(target.path());
    w->ReleaseFiles();
    EXPECT_EQ(w->FilesDone, 3);
    std::vector<std::string> held;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string named = fs::read_symlink(e.path(), ec).string();
        if (named.ends_with(" (deleted)") || named == target.path() ||
            named.starts_with(target.path() + "/"))
            held.push_back(named);
    }
    EXPECT_TRUE(held.empty()) << held.front();
}

}  // namespace
}  // namespace kolvik::test
