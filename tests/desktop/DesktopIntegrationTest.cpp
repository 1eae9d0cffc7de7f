// SPDX-License-Identifier: GPL-3.0-or-later
// Registering and removing on a temporary home, checked with the desktop's own tools.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <utility>

#include "UserActions.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& s) { return "'" + s + "'"; }  // our temp paths hold no '

// The exit status and the output, trailing line ends dropped.
std::pair<int, std::string> Shell(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    const int status = ::pclose(pipe);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

constexpr const char* kUserMimeapps =
    "[Default Applications]\ntext/plain=ed.desktop\n\n[Added "
    "Associations]\ntext/plain=ed.desktop;\n";
constexpr const char* kUserEntry =
    "[Desktop Entry]\nType=Application\nName=Ed\nExec=ed %f\nMimeType=text/plain;\n";

// A home whose data and configuration folders are named by XDG variables.
struct Desktop {
    TempDir dir;
    std::string home = dir / "home", data = dir / "data", config = dir / "config";
    std::string program = dir / "opt";
    bool programInPlace = false;  // the scripts name the program where it lies
    std::vector<std::string> environment{"HOME=" + home, "XDG_DATA_HOME=" + data,
                                         "XDG_CONFIG_HOME=" + config, "PATH=/usr/bin:/bin"};
    Desktop() {
        for (const auto& d : {home, data, config, program}) fs::create_directories(d);
        WriteFile(program + "/kolvik", "#!/bin/sh\n");
        fs::permissions(program + "/kolvik", fs::perms(0755));
    }
    void Register() { Run(true); }
    void Remove() { Run(false); }
    void Run(bool create) {
        TestWindow w(program, "", nullptr, environment);
        w->WindowsShell = false;
        w->FindSystemFolders();
        if (programInPlace) w->SystemFolder = program;
        w->session.ChooseRegistration("ja", "ja");
        create ? w->REG_Create() : w->REG_Delete();
    }
    // xdg-mime answers through gio on a GNOME desktop; elsewhere it asks file(1), which
    // knows nothing of the user's MIME database.
    std::string XdgMime(const std::string& args) const {
        return Shell("env -i HOME=" + Quoted(home) + " XDG_DATA_HOME=" + Quoted(data) +
                     " XDG_CONFIG_HOME=" + Quoted(config) + " XDG_DATA_DIRS=" + Quoted(data) +
                     ":/usr/share XDG_CURRENT_DESKTOP=GNOME PATH=/usr/bin:/bin xdg-mime " + args)
            .second;
    }
    std::vector<std::string> OurFiles() const {
        std::vector<std::string> files = {data + "/applications/kolvik.desktop",
                                          data + "/mime/packages/kolvik.xml",
                                          data + "/nautilus/scripts/Besleutel met Kolvik",
                                          data + "/kio/servicemenus/kolvik-besleutel.desktop",
                                          data + "/nemo/actions/kolvik-besleutel.nemo_action"};
        for (const char* size : {"16", "24", "32", "48", "64", "128"})
            files.push_back(data + "/icons/hicolor/" + size + "x" + size + "/apps/kolvik.png");
        return files;
    }
};

void Put(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    WriteFile(path, text);
}

bool Executable(const std::string& path) {
    return (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

TEST(DesktopIntegration, InstallsWhereTheDesktopFindsItAndRemovesOnlyOurs) {
    Desktop d;
    // The user's own files: a linked mimeapps.list, a Thunar action, an entry, a script.
    const std::string dotfile = d.dir / "dotfiles/mimeapps.list";
    Put(dotfile, kUserMimeapps);
    fs::create_symlink(dotfile, d.config + "/mimeapps.list");
    Put(d.config + "/Thunar/uca.xml", kUserActions);
    Put(d.data + "/applications/ed.desktop", kUserEntry);
    Put(d.data + "/nautilus/scripts/Mijn script", "#!/bin/sh\n");
    WriteFile(d.dir / "brief_txt.kol", std::string("\x01\x02versleuteld\xff", 14));

    d.Register();
    for (const auto& f : d.OurFiles()) EXPECT_TRUE(fs::exists(f)) << f;
    const std::string entry = d.data + "/applications/kolvik.desktop";
    // Not even a hint: a desktop that reads the entry may act on any of them.
    EXPECT_EQ(Shell("desktop-file-validate " + Quoted(entry)), std::make_pair(0, std::string()));
    EXPECT_NE(ReadFile(entry).find("\nExec=" + d.home + "/.local/bin/kolvik %f\n"),
              std::string::npos);
    EXPECT_EQ(d.XdgMime("query filetype " + Quoted(d.dir / "brief_txt.kol")),
              "application/x-kolvik");
    EXPECT_EQ(d.XdgMime("query default application/x-kolvik"), "kolvik.desktop");
    EXPECT_TRUE(Executable(d.data + "/nautilus/scripts/Besleutel met Kolvik"));
    EXPECT_TRUE(Executable(d.data + "/kio/servicemenus/kolvik-besleutel.desktop"));
    // Edited through the link: a file put in its place would leave the dotfile as it was.
    EXPECT_EQ(ReadFile(dotfile),
              "[Default Applications]\napplication/x-kolvik=kolvik.desktop\ntext/plain=ed.desktop\n"
              "\n[Added Associations]\ntext/plain=ed.desktop;\n");
    // The user's own action comes back whole on removal, below.
    EXPECT_NE(ReadFile(d.config + "/Thunar/uca.xml").find("<name>Besleutel met Kolvik</name>"),
              std::string::npos);

    d.Remove();
    for (const auto& f : d.OurFiles()) EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_EQ(ReadFile(dotfile), kUserMimeapps);
    EXPECT_EQ(ReadFile(d.config + "/Thunar/uca.xml"), kUserActions);
    EXPECT_EQ(ReadFile(d.data + "/applications/ed.desktop"), kUserEntry);
    EXPECT_TRUE(fs::exists(d.data + "/nautilus/scripts/Mijn script"));
    EXPECT_NE(d.XdgMime("query filetype " + Quoted(d.dir / "brief_txt.kol")),
              "application/x-kolvik");
    // As on Windows, the installed icon stays (and the copy: tests/shell's REG_Delete).
    EXPECT_TRUE(fs::exists(d.data + "/icons/hicolor/256x256/apps/kolvik.png"));
}

// Without the database tools on the PATH, too: the files still come and go.
TEST(DesktopIntegration, AFileOfTheSameNameThatIsNotOursIsNeverTouched) {
    Desktop d;
    d.environment.back() = "PATH=" + (d.dir / "leeg");
    const std::vector<std::pair<std::string, std::string>> theirs = {
        {d.data + "/applications/kolvik.desktop", "[Desktop Entry]\nName=Mijn eigen\n"},
        {d.data + "/nemo/actions/kolvik-besleutel.nemo_action", "[Nemo Action]\nName=Eigen\n"},
    };
    for (const auto& [path, text] : theirs) Put(path, text);
    d.Register();
    for (const auto& [path, text] : theirs) EXPECT_EQ(ReadFile(path), text) << path;
    EXPECT_TRUE(fs::exists(d.data + "/mime/packages/kolvik.xml"));
    EXPECT_FALSE(fs::exists(d.data + "/applications/mimeinfo.cache")) << "no tool ran";
    // An icon is known by its picture: one the user has changed since is theirs.
    const std::string icon = d.data + "/icons/hicolor/16x16/apps/kolvik.png";
    WriteFile(icon, "een ander plaatje");
    d.Remove();
    for (const auto& [path, text] : theirs) EXPECT_EQ(ReadFile(path), text) << path;
    EXPECT_EQ(ReadFile(icon), "een ander plaatje");
    EXPECT_FALSE(fs::exists(d.data + "/mime/packages/kolvik.xml"));
}

// The Nautilus script, run as Nautilus runs it: one program per selected item, each with
// that item's absolute path as its only argument.
TEST(DesktopIntegration, NautilusScriptStartsOneProgramPerSelectedItem) {
    Desktop d;
    d.program = d.dir / "it's here";  // a quote and a blank in the program's path
    d.programInPlace = true;
    const std::string log = d.dir / "log";
    Put(d.program + "/kolvik", "#!/bin/sh\nprintf '%s|%s\\n' \"$#\" \"$1\" >> \"$KOLVIK_LOG\"\n");
    fs::permissions(d.program + "/kolvik", fs::perms(0755));
    d.Register();
    const std::string script = d.data + "/nautilus/scripts/Besleutel met Kolvik";

    // The programs run in the background, in no set order: wait for both lines.
    using Lines = std::multiset<std::string>;
    const auto runAndCollect = [&](const std::string& command) {
        fs::remove(log);
        Shell("cd " + Quoted(d.dir.path()) + " && KOLVIK_LOG=" + Quoted(log) + " " + command);
        Lines lines;
        for (int i = 0; i < 500 && lines.size() < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lines.clear();
            std::ifstream in(log);
            for (std::string line; std::getline(in, line);) lines.insert(line);
        }
        return lines;
    };
    EXPECT_EQ(runAndCollect("sh " + Quoted(script) + " 'a b.txt' \"/abs/c'd\""),
              (Lines{"1|" + d.dir.path() + "/a b.txt", "1|/abs/c'd"}));
    EXPECT_EQ(runAndCollect("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS='/p/een\n/p/twee drie\n' sh " +
                            Quoted(script)),
              (Lines{"1|/p/een", "1|/p/twee drie"}));
}

}  // namespace
}  // namespace kolvik::test
