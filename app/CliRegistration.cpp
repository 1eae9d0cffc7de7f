// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CliRegistration.h"

#include <iostream>

#include "app/CliExitStatus.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik::cli {
namespace {

// Every message goes to standard error and every question is answered OK; a window that would
// open is closed at once.
class CliDialogs : public Dialogs {
  public:
    explicit CliDialogs(ErrorLines& errors) : errors_(errors) {}
    MsgAnswer MsgBox(const std::string& text, MsgButtons, MsgIcon) override {
        errors_.Message(text);
        return MsgAnswer::OK;
    }
    void ShowModal(Form& form) override { form.Unload(); }

  private:
    ErrorLines& errors_;
};

class NoScreen : public Screen {
  public:
    void Yield() override {}
    void SetMousePointer(MousePointer) override {}
};

class NoKeyState : public KeyState {
  public:
    bool CapsLockOn() override { return false; }
};

class NoLauncher : public Launcher {
  public:
    void OpenForViewing(ViewKind, const std::string&) override {}
};

// The registration procedures belong to the main window's model; it is loaded without a view.
template <typename Procedure>
bool WithLoadedWindow(console::Host& host, ErrorLines& errors, Procedure procedure) {
    CliDialogs dialogs(errors);
    NoScreen screen;
    NoKeyState keys;
    NoLauncher launcher;
    frmKolvik form(Services{dialogs, screen, keys, *host.clock, *host.regional, launcher,
                            *host.registry, host.facts});
    form.Form_Load();
    procedure(form);
    // Read back from the store: a home that cannot be written must not end with 0.
    form.REG_Check();
    return form.session.KolRegisterd;
}

}  // namespace

int Register(console::Host& host, ErrorLines& errors, bool contextMenu) {
    const bool registered = WithLoadedWindow(host, errors, [contextMenu](frmKolvik& form) {
        form.session.RegKolExtension = "ja";
        form.session.RegContextMenu = contextMenu ? "ja" : "nee";
        form.REG_Create();
    });
    if (registered) return kExitDone;
    std::cerr << "kolvik-cli: registreren is niet gelukt: de instellingen konden niet worden "
                 "opgeslagen.\n";
    return kExitFilesLeft;
}

int Unregister(console::Host& host, ErrorLines& errors) {
    const bool registered =
        WithLoadedWindow(host, errors, [](frmKolvik& form) { form.REG_Delete(); });
    if (!registered) return kExitDone;
    std::cerr << "kolvik-cli: afmelden is niet gelukt: de instellingen konden niet worden "
                 "opgeslagen.\n";
    return kExitFilesLeft;
}

}  // namespace kolvik::cli
