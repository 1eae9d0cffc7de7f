// Encrypts or decrypts a folder tree through the walk with a real main window and services
// that do nothing, so a run can be timed against cp and sync of the same data.
//   walk_bench encrypt|decrypt FOLDER [KEY]
#include <cstdio>
#include <cstring>
#include <string>

#include "mainwindow/frmKolvik.h"

namespace {

using namespace kolvik;

class NoDialogs : public Dialogs {
public:
    MsgAnswer MsgBox(const std::string&, MsgButtons, MsgIcon) override { return MsgAnswer::OK; }
    void ShowModal(Form&) override {}
};
class NoScreen : public Screen {
public:
    void Yield() override {}
    void SetMousePointer(MousePointer) override {}
};
class NoKeys : public KeyState {
public:
    bool CapsLockOn() override { return false; }
};
class RealClock : public Clock {
public:
    WallClock::time_point Now() override { return WallClock::now(); }
    std::chrono::steady_clock::time_point Monotonic() override { return std::chrono::steady_clock::now(); }
};
class NoRegional : public Regional {
public:
    std::string TimeOfDay(WallClock::time_point) override { return ""; }
    std::string ShortDate(WallClock::time_point) override { return ""; }
    std::string DecimalSeparator() override { return "."; }
};
class NoLauncher : public Launcher {
public:
    bool OpenDocument(const std::string&) override { return true; }
};
class NoRegistry : public Registry {
public:
    std::optional<std::string> RegRead(const std::string&) override { return std::nullopt; }
    bool RegWrite(const std::string&, const std::string&) override { return true; }
    bool RegDelete(const std::string&) override { return true; }
    void Import(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
        std::fprintf(stderr, "walk_bench encrypt|decrypt FOLDER [KEY]\n");
        return 2;
    }
    NoDialogs dialogs;
    NoScreen screen;
    NoKeys keys;
    RealClock clock;
    NoRegional regional;
    NoLauncher launcher;
    NoRegistry registry;
    ProcessFacts facts;
    facts.exeName = "walk_bench";
    frmKolvik form(Services{dialogs, screen, keys, clock, regional, launcher, registry, facts});
    const std::string key = argc > 3 ? argv[3] : "benchmark";
    form.txtPassword_1.text = form.txtPassword_2.text = form.CipherKey = key;
    form.DecryptMode = std::strcmp(argv[1], "decrypt") == 0;
    form.ModeTime = clock.Now();
    form.ProcessTarget(argv[2]);
    form.WalkFolder(argv[2]);
    form.FlushPendingOriginals();
    std::printf("%lld done, %lld skipped, %lld bytes\n", static_cast<long long>(form.FilesDone),
                static_cast<long long>(form.FilesSkipped), static_cast<long long>(form.BytesDone));
    return form.FilesSkipped == 0 ? 0 : 1;
}
