// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window whose registry is the real per-user store in a test folder, so that a
// second window opened on the same store sees what the first one left behind, as a
// restart of the program would.
#include <filesystem>
#include <memory>
#include <string>

#include "Version.h"
#include "platform/posix/RegistryStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {

// The values the PIN gate reads: whether the context menu is on, and the stored PIN code.
inline const std::string kContextMenuValue =
    "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Options\\addtocontext";
inline const std::string kChecksumValue = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Checksum\\";

inline std::string StorePath(const std::string& home) {
    return home + "/.config/kolvik/registry.reg";
}

struct StoreFile {
    FileRegistry registry;
};

struct ShellSession : StoreFile, TestWindow {
    using StoreFile::registry;

    // home holds the store and the installed copies; program is where kolvik runs from.
    ShellSession(const std::string& home, const std::string& program)
        : StoreFile{FileRegistry(StorePath(home))},
          TestWindow(program, "", &static_cast<StoreFile&>(*this).registry,
                     std::vector<std::string>{"HOME=" + home, "PATH=/usr/bin"}) {
        form->WindowsShell = false;
        form->VersionMajor = KOLVIK_VERSION_MAJOR;
        form->VersionMinor = KOLVIK_VERSION_MINOR;
        form->VersionRevision = KOLVIK_VERSION_REVISION;
    }
};

// A test home, and a program folder that holds the window program to install.
struct Install {
    TempDir dir;
    std::string home = dir / "home", program = dir / "opt";
    Install() {
        for (const auto& folder : {home, program}) std::filesystem::create_directories(folder);
        WriteFile(program + "/kolvik", "#!/bin/sh\necho kolvik\n");
    }
    std::string store() const { return StorePath(home); }
};

// A start of the program on the store as another Kolvik may have left it.
inline std::unique_ptr<ShellSession> Open(const Install& in) {
    auto s = std::make_unique<ShellSession>(in.home, in.program);
    (*s)->FindSystemFolders();
    (*s)->REG_Check();
    return s;
}

inline void Register(ShellSession& s, const std::string& kolExt, const std::string& ctx) {
    s->FindSystemFolders();
    s->session.ChooseRegistration(kolExt, ctx);
    s->REG_Create();
}

}  // namespace kolvik::test
