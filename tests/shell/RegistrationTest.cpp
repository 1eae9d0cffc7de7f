// Registering, checking and removing the shell integration against the real store.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "ShellSession.h"
#include "shell/KolvikIcon.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

// A home folder and a program folder that holds the window program.
struct Install {
    TempDir dir;
    std::string home = dir / "home";
    std::string program = dir / "opt";
    Install() {
        fs::create_directories(home);
        fs::create_directories(program);
        WriteFile(program + "/kolvik", "#!/bin/sh\necho kolvik\n");
        fs::permissions(program + "/kolvik", fs::perms(0755));
    }
    std::string store() const { return home + "/.config/kolvik/registry.reg"; }
    std::string bin() const { return home + "/.local/bin"; }
    std::string icons() const { return home + "/.local/share/icons/hicolor/256x256/apps"; }
};

void Register(ShellSession& s, const std::string& kolExt, const std::string& ctx) {
    s->FindSystemFolders();
    s->RegKolExtension = kolExt;
    s->RegContextMenu = ctx;
    s->REG_Create();
}

// Every key in the store, read with the store's own parser from the file as it lies.
std::vector<std::string> StoredKeys(const std::string& store) {
    RegTree tree;
    EXPECT_TRUE(MergeScript(ReadFile(store), tree, true));
    return tree.KeyPaths();
}

std::vector<std::string> OurKeys(const std::string& store) {
    std::vector<std::string> keys;
    for (const auto& k : StoredKeys(store)) {
        if (k.find("kolvik") != std::string::npos || k.find("Kolvik") != std::string::npos ||
            k.ends_with(".kol")) {
            keys.push_back(k);
        }
    }
    return keys;
}

// The four scripts imported, then a fresh window checks: each case a different store.
struct CheckCase {
    const char* what;
    const char* kolExt;  // options given to REG_Create; nullptr: nothing registered
    const char* ctx;
    const char* kolValue;  // written over HKEY_CLASSES_ROOT\.kol afterwards, if set
    bool registered;
    const char* expectKolExt;
    const char* expectCtx;
    const char* expectChecksum;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.what; }

class REG_CheckAfterImport : public ::testing::TestWithParam<CheckCase> {};

TEST_P(REG_CheckAfterImport, ReadsTheStoreBack) {
    const CheckCase& c = GetParam();
    Install in;
    if (c.kolExt) {
        ShellSession first(in.home, in.program);
        Register(first, c.kolExt, c.ctx);
        if (c.kolValue) first.registry.RegWrite("HKEY_CLASSES_ROOT\\.kol\\", c.kolValue);
    }
    ShellSession s(in.home, in.program);
    // A failed read leaves its field as it was: start from values no store holds.
    s->RegKolExtension = "vooraf-ext";
    s->RegContextMenu = "vooraf-ctx";
    s->RegChecksum = "vooraf-pin";
    s->KolRegisterd = true;
    s->REG_Check();
    EXPECT_EQ(s->KolRegisterd, c.registered) << c.what;
    EXPECT_EQ(s->RegKolExtension, c.expectKolExt) << c.what;
    EXPECT_EQ(s->RegContextMenu, c.expectCtx) << c.what;
    EXPECT_EQ(s->RegChecksum, c.expectChecksum) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Stores, REG_CheckAfterImport,
    ::testing::Values(
        CheckCase{"registered", "ja", "ja", nullptr, true, "ja", "ja", ""},
        CheckCase{"another version's ProgID in .kol", "ja", "ja", "kolvik9.0.0", false, "ja", "ja",
                  ""},
        // "JA" is not "ja": the context-menu scripts are not imported, the option is kept.
        CheckCase{"an option stored as JA", "ja", "JA", nullptr, true, "ja", "JA", ""},
        CheckCase{"nothing registered", nullptr, nullptr, nullptr, false, "vooraf-ext",
                  "vooraf-ctx", "vooraf-pin"}));

TEST(REG_Delete, RemovesTheKeysInOrderAndKeepsOneThatHasAnExtraSubkey) {
    Install in;
    ShellSession s(in.home, in.program);
    Register(s, "ja", "ja");
    ASSERT_TRUE(
        s.registry.RegWrite("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\Extra\\", "van iemand"));
    struct Dialog : Form {
        std::vector<Control*> Controls() override { return {}; }
    } registration;
    s->registrationDialog = &registration;
    s->REG_Delete();

    // Options keeps its subkey, and so the ProgID key keeps Options; every other key goes.
    const std::vector<std::string> expected = {
        "HKEY_CLASSES_ROOT\\kolvik10.0.2",
        "HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options",
        "HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\Extra",
    };
    EXPECT_EQ(OurKeys(in.store()), expected);
    EXPECT_EQ(s.registry.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\addtocontext"), "ja");
    EXPECT_TRUE(registration.unloaded);
    EXPECT_TRUE(s->unloaded);
    EXPECT_TRUE(fs::exists(in.bin() + "/kolvik")) << "the installed copy stays";
}

// Runs body in a child process without root's privileges; the child's exit code is the result.
int AsNobody(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

// When the system folder refuses the copy, the icon goes to the program folder and the
// scripts name the program folder.
TEST(REG_Create, FallsBackToTheProgramFolderWhenRefused) {
    Install in;
    fs::create_directories(in.bin());
    fs::create_directories(in.icons());
    for (const std::string& d : {in.dir.path(), in.home}) fs::permissions(d, fs::perms(0755));
    fs::permissions(in.program, fs::perms(0777));
    fs::create_directories(in.home + "/.config");
    fs::permissions(in.home + "/.config", fs::perms(0777));
    // .local/bin and the icon folder stay root's and closed to others.
    const int rc = AsNobody([&] {
        ShellSession s(in.home, in.program);
        Register(s, "ja", "ja");
        if (s->SystemFolder != in.program) return 1;
        if (ReadFile(in.program + "/kolvik.png") != KolvikIconPng()) return 2;
        const std::string command = "\"" + in.program + "/kolvik\" %1";
        if (s.registry.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\shell\\Open\\command\\") !=
            command)
            return 3;
        if (s.registry.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\DefaultIcon\\") !=
            in.program + "/kolvik.png,0")
            return 4;
        if (fs::exists(in.program + "/kolvik.reg")) return 5;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(fs::exists(in.bin() + "/kolvik"));
}

}  // namespace
}  // namespace kolvik::test
