// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli: the main window's model driven from a script. It types the password,
// presses the buttons and answers the questions; everything else is the window's own.
#include <chrono>
#include <clocale>
#include <iostream>
#include <optional>

#include "Version.h"
#include "app/CliExitStatus.h"
#include "app/CliTerminal.h"
#include "app/Console.h"
#include "app/PasswordLine.h"
#include "app/Suspend.h"
#include "mainwindow/frmKolvik.h"

namespace {

using namespace kolvik;
using namespace kolvik::cli;

const char* const kUsage =
    "Gebruik: kolvik-cli encrypt PAD [--password-file BESTAND] [--log] [--strong]\n"
    "         kolvik-cli decrypt PAD [--password-file BESTAND] [--log] [--stop-on-wrong-key]\n"
    "         kolvik-cli register [--no-context-menu]\n"
    "         kolvik-cli unregister\n"
    "         kolvik-cli --help | --version\n"
    "\n"
    "PAD is een bestand of een map. Het wachtwoord wordt twee keer gevraagd (zonder echo)\n"
    "als standaardinvoer een terminal is, of gelezen uit de eerste regel van BESTAND\n"
    "(\"-\" leest standaardinvoer). Met --log wordt het activiteitenlogboek bijgehouden.\n"
    "Met --strong wordt sterk versleuteld (AES-256); zulke bestanden opent alleen Kolvik.\n"
    "Ontsleutelen herkent beide formaten zelf.\n";

struct Options {
    std::string command, path, passwordFile;
    bool log = false, stopOnWrongKey = false, noContextMenu = false, strong = false;
};

// A headless run opens no viewer; it names the file instead.
class CliLauncher : public Launcher {
  public:
    bool OpenDocument(const std::string& path) override {
        std::cerr << "Ontsleuteld: " << path << '\n';
        return true;
    }
    bool StartProgram(const std::string&, WindowState) override { return false; }
};

// A script has no Caps Lock notice to show.
class NoKeyState : public KeyState {
  public:
    bool CapsLockOn() override { return false; }
};

void PrintUsageError(const std::string& message) {
    std::cerr << "kolvik-cli: " << message << "\n\n" << kUsage;
}

std::optional<Options> Parse(const std::vector<std::string>& args, std::string& error) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--log")
            o.log = true;
        else if (a == "--stop-on-wrong-key")
            o.stopOnWrongKey = true;
        else if (a == "--no-context-menu")
            o.noContextMenu = true;
        else if (a == "--strong")
            o.strong = true;
        else if (a == "--password-file") {
            if (++i == args.size())
                return error = "--password-file verwacht een bestandsnaam.", std::nullopt;
            o.passwordFile = args[i];
        } else if (a == "--help" || a == "--version") {
            o.command = a;
            return o;
        } else if (a.rfind("--", 0) == 0) {
            return error = "onbekende optie: " + a, std::nullopt;
        } else if (o.command.empty()) {
            o.command = a;
        } else if (o.path.empty()) {
            o.path = a;
        } else {
            return error = "te veel argumenten.", std::nullopt;
        }
    }
    const bool needsPath = o.command == "encrypt" || o.command == "decrypt";
    if (o.command.empty()) return error = "geen opdracht gegeven.", std::nullopt;
    if (!needsPath && o.command != "register" && o.command != "unregister")
        return error = "onbekende opdracht: " + o.command, std::nullopt;
    if (needsPath && o.path.empty()) return error = "geen PAD gegeven.", std::nullopt;
    if (!needsPath && !o.path.empty()) return error = "te veel argumenten.", std::nullopt;
    if (o.strong && o.command != "encrypt")
        return error = "--strong hoort bij encrypt.", std::nullopt;
    return o;
}

struct Entries {
    std::string password, confirmation;
};

std::optional<Entries> ReadPassword(const Options& o, std::string& error) {
    if (!o.passwordFile.empty()) {
        const PasswordLine line = o.passwordFile == "-"
                                      ? console::ReadPasswordFromInput()
                                      : console::ReadPasswordFromFile(
                                            o.passwordFile, "kan het wachtwoordbestand " +
                                                                o.passwordFile + " niet openen.");
        if (!line.password) error = line.error;
        return line.password ? std::optional<Entries>({*line.password, *line.password})
                             : std::nullopt;
    }
    if (!console::InputIsTerminal()) {
        error = "geen wachtwoord: gebruik --password-file BESTAND, of start vanaf een terminal.";
        return std::nullopt;
    }
    auto first = console::PromptHidden("Password :");
    auto second = first ? console::PromptHidden("Confirm :") : std::nullopt;
    if (!second) {
        error = "geen wachtwoord ingevoerd.";
        return std::nullopt;
    }
    // A mismatch is the mode button's to judge, as in the window.
    return Entries{*first, *second};
}

CliOutcome RunTransform(frmKolvik& form, const Options& o, CliScreen& screen) {
    CliOutcome outcome;
    outcome.decryptRun = o.command == "decrypt";
    const auto refuse = [&outcome](const std::string& message) {
        // After Ctrl+C the failed read is no news.
        if (console::StopSignal() == 0) std::cerr << "kolvik-cli: " << message << '\n';
        outcome.unusableInput = true;
        return outcome;
    };
    if (!form.HasFileTarget && !form.HasFolderTarget)
        return refuse("geen map en geen bestand met een extensie: " + o.path);
    Control& modeButton = outcome.decryptRun ? form.cmdDecrypt : form.cmdEncrypt;
    if (!modeButton.enabled)
        return refuse(outcome.decryptRun ? "dit bestand kan alleen worden versleuteld: " + o.path
                                         : "dit bestand kan alleen worden ontsleuteld: " + o.path);
    std::string error;
    const auto entries = ReadPassword(o, error);
    if (!entries) return refuse(error);
    form.txtPassword_1.text = entries->password;
    form.txtPassword_2.text = entries->confirmation;
    form.chkLoggen.value = o.log ? 1 : 0;
    form.OnClick(form.chkLoggen);
    // Set, not clicked: a script's choice is not the window's remembered one.
    form.chkSterk.value = o.strong ? 1 : 0;
    form.OnClick(modeButton);
    Control& go = outcome.decryptRun ? form.cmdGoDecrypt : form.cmdGoEncrypt;
    if (!go.enabled) {  // "Ongelijke invoer" has been shown
        outcome.unusableInput = true;
        return outcome;
    }
    const auto start = std::chrono::steady_clock::now();
    form.SuspendRequested = suspend::Requested;
    form.Suspend = [&screen] {
        screen.EndProgressLine();
        suspend::Now();
    };
    suspend::Catch();
    form.OnClick(go);
    suspend::Release();
    // A request that came with no file boundary left to take it at.
    if (suspend::Requested()) suspend::Now();
    screen.EndProgressLine();
    outcome.report = form.Report;
    outcome.filesDone = form.FilesDone;

    const bool ran =
        console::StopSignal() == 0 && !form.Report.pinRefused && !form.Report.passwordRefused;
    if (ran && !form.HasFileTarget) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - start);
        for (const auto& line : SummaryLines(form, outcome.decryptRun, elapsed))
            std::cout << line << '\n';
    }
    return outcome;
}

int Main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args = console::Start(argc, argv);
    std::string error;
    const auto options = Parse(args, error);
    if (!options) {
        PrintUsageError(error);
        CliOutcome usage;
        usage.unusableInput = true;
        return ExitStatus(usage);
    }
    if (options->command == "--help") {
        std::cout << kUsage;
        return kExitDone;
    }
    if (options->command == "--version") {
        std::cout << "kolvik-cli " << KOLVIK_VERSION << '\n';
        return kExitDone;
    }

    console::CatchStopRequests();
    CliScreen screen([] { return console::StopSignal() != 0; }, console::ErrorIsTerminal());
    ErrorLines errors(screen);
    CliDialogs dialogs(errors, options->stopOnWrongKey);
    console::Host host = console::OpenHost(argc, argv, [&dialogs](const std::string& text) {
        dialogs.MsgBox(text, MsgButtons::OK, MsgIcon::Exclamation);
    });
    host.facts.commandLine = options->path;
    NoKeyState keys;
    CliLauncher launcher;
    frmKolvik form(Services{dialogs, screen, keys, *host.clock, *host.regional, launcher,
                            *host.registry, host.facts});
    screen.form = &form;
    dialogs.form = &form;
    form.FileLeft = [&errors](const std::string& path, LeftReason reason) {
        errors.FileLeft(path, reason);
    };

    form.Form_Load();
    if (form.unloaded) return kExitDone;
    if (options->command == "register") {
        form.RegKolExtension = "ja";
        form.RegContextMenu = options->noContextMenu ? "nee" : "ja";
        form.REG_Create();
        // Read back from the store: a home that cannot be written must not end with 0.
        form.REG_Check();
        if (!form.KolRegisterd) {
            std::cerr << "kolvik-cli: registreren is niet gelukt: de instellingen konden niet "
                         "worden opgeslagen.\n";
            return kExitFilesLeft;
        }
        return kExitDone;
    }
    if (options->command == "unregister") {
        form.REG_Delete();
        form.REG_Check();
        if (form.KolRegisterd) {
            std::cerr << "kolvik-cli: afmelden is niet gelukt: de instellingen konden niet "
                         "worden opgeslagen.\n";
            return kExitFilesLeft;
        }
        return kExitDone;
    }
    CliOutcome outcome = RunTransform(form, *options, screen);
    outcome.signal = console::StopSignal();
    return ExitStatus(outcome);
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
