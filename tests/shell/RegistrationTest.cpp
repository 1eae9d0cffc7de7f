// Registering, checking and removing the shell integration against the real store.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "ShellSession.h"
#include "shell/frmTooltip.h"
#include "shellfiles/KolvikIcon.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

// The four scripts imported, then a fresh window checks: each case a different store.
TEST(REG_Check, ReadsTheStoreBackAfterImport) {
    // A read that fails leaves its field as it was; the expected fields follow from that.
    const struct {
        const char* what;
        const char *kolExt, *ctx;  // options given to REG_Create; nullptr: nothing registered
        const char* kolValue;      // written over HKEY_CLASSES_ROOT\.kol afterwards, if set
        bool registered;
    } cases[] = {
        {"registered", "ja", "ja", nullptr, true},
        {"another version's ProgID in .kol", "ja", "ja", "kolvik9.0.0", false},
        // "JA" is not "ja": the context-menu scripts are not imported, the option is kept.
        {"an option stored as JA", "ja", "JA", nullptr, true},
        {"nothing registered", nullptr, nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install in;
        if (c.kolExt) {
            ShellSession first(in.home, in.program);
            Register(first, c.kolExt, c.ctx);
            if (c.kolValue) first.registry.RegWrite("HKEY_CLASSES_ROOT\\.kol\\", c.kolValue);
        }
        ShellSession s(in.home, in.program);
        // Start from values no store holds.
        s->RegKolExtension = "vooraf-ext";
        s->RegContextMenu = "vooraf-ctx";
        s->RegChecksum = "vooraf-pin";
        s->KolRegisterd = true;
        s->REG_Check();
        EXPECT_EQ(s->KolRegisterd, c.registered);
        EXPECT_EQ(s->RegKolExtension, c.kolExt ? c.kolExt : "vooraf-ext");
        EXPECT_EQ(s->RegContextMenu, c.ctx ? c.ctx : "vooraf-ctx");
        EXPECT_EQ(s->RegChecksum, c.kolExt ? "" : "vooraf-pin");  // registered: an empty code
    }
}

TEST(REG_Delete, RemovesTheKeysInOrderAndKeepsOneThatHasAnExtraSubkey) {
    Install in;
    ShellSession s(in.home, in.program);
    Register(s, "ja", "ja");
    ASSERT_TRUE(
        s.registry.RegWrite("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\Extra\\", "van iemand"));
    frmTooltip registration;  // any form will do
    s->registrationDialog = &registration;
    s->REG_Delete();

    // Options keeps its subkey, and so the ProgID key keeps Options; every other key of ours
    // goes. The shared parents were never ours to remove.
    RegTree stored;  // the file as it lies, read with the store's own parser
    ASSERT_TRUE(MergeScript(ReadFile(in.store()), stored, true));
    const std::vector<std::string> expected = {
        "HKEY_CLASSES_ROOT",
        "HKEY_CLASSES_ROOT\\*",
        "HKEY_CLASSES_ROOT\\*\\shell",
        "HKEY_CLASSES_ROOT\\Directory",
        "HKEY_CLASSES_ROOT\\Directory\\shell",
        "HKEY_CLASSES_ROOT\\kolvik10.0.2",
        "HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options",
        "HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\Extra",
    };
    EXPECT_EQ(stored.KeyPaths(), expected);
    EXPECT_EQ(s.registry.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\addtocontext"), "ja");
    EXPECT_TRUE(registration.unloaded);
    EXPECT_TRUE(s->unloaded);
    EXPECT_TRUE(fs::exists(in.home + "/.local/bin/kolvik")) << "the installed copy stays";
}

// Runs body in a child process without root's privileges; true when it ran to its end.
bool AsNobody(const std::function<void()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// When the system folder refuses the copy, the icon goes to the program folder and the
// scripts name the program folder.
TEST(REG_Create, FallsBackToTheProgramFolderWhenRefused) {
    Install in;
    // .local/bin and the icon folder stay root's and closed to others.
    fs::create_directories(in.home + "/.local/bin");
    fs::create_directories(in.home + "/.local/share/icons/hicolor/256x256/apps");
    for (const std::string& d : {in.dir.path(), in.home}) fs::permissions(d, fs::perms(0755));
    for (const std::string& d : {in.program, in.home + "/.config"}) {
        fs::create_directories(d);
        fs::permissions(d, fs::perms(0777));
    }
    ASSERT_TRUE(AsNobody([&] {
        ShellSession s(in.home, in.program);
        Register(s, "ja", "ja");
    }));
    FileRegistry store(in.store());
    EXPECT_EQ(store.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\shell\\Open\\command\\"),
              "\"" + in.program + "/kolvik\" %1");
    EXPECT_EQ(store.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\DefaultIcon\\"),
              in.program + "/kolvik.png,0");
    EXPECT_EQ(ReadFile(in.program + "/kolvik.png"), KolvikIconPng());
    EXPECT_FALSE(fs::exists(in.program + "/kolvik.reg")) << "the scripts are removed after import";
    EXPECT_FALSE(fs::exists(in.home + "/.local/bin/kolvik"));
}

}  // namespace
}  // namespace kolvik::test
