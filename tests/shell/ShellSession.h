#pragma once
// A main window whose registry is the real per-user store in a test folder, so that a
// second window opened on the same store sees what the first one left behind, as a
// restart of the program would.
#include <memory>
#include <string>

#include "platform/posix/RegistryStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {

struct ShellSession {
    FakeDialogs dialogs;
    FakeScreen screen;
    FakeKeyState keys;
    FakeClock clock;
    FakeRegional regional;
    FakeLauncher launcher;
    FileRegistry registry;
    std::unique_ptr<frmKolvik> form;

    // home holds the store and the installed copies; program is where kolvik runs from.
    ShellSession(const std::string& home, const std::string& program)
        : registry(home + "/.config/kolvik/registry.reg") {
        ProcessFacts facts;
        facts.programFolder = program;
        facts.dataFolder = program;
        facts.exeName = "kolvik";
        facts.environment = {"HOME=" + home, "PATH=/usr/bin"};
        form = std::make_unique<frmKolvik>(
            Services{dialogs, screen, keys, clock, regional, launcher, registry, facts});
        form->WindowsShell = false;
        form->VersionMajor = "10";
        form->VersionMinor = "0";
        form->VersionRevision = "2";
    }
    frmKolvik* operator->() { return form.get(); }
};

}  // namespace kolvik::test
