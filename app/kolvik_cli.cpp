// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli: the run session driven from a script. It reads the password and the options;
// what a run does and refuses is the session's, as in the window.
#include <clocale>
#include <iostream>
#include <optional>

#include "Version.h"
#include "app/CliExitStatus.h"
#include "app/CliRegistration.h"
#include "app/CliRun.h"
#include "app/CliTerminal.h"
#include "app/Console.h"
#include "app/PasswordLine.h"

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

std::optional<Entries> ReadPassword(const Options& o, std::string& error) {
    if (!o.passwordFile.empty()) {
        const PasswordLine line = o.passwordFile == "-"
                                      ? console::ReadPasswordFromInput()
                                      : console::ReadPasswordFromFile(
                                            o.passwordFile, "kan het wachtwoordbestand " +
                                                                o.passwordFile + " niet openen.");
        if (!line.password) {
            error = line.error;
            return std::nullopt;
        }
        return Entries{*line.password, *line.password};
    }
    if (!console::InputIsTerminal()) {
        error = "geen wachtwoord: gebruik --password-file BESTAND, of start vanaf een terminal.";
        return std::nullopt;
    }
    std::optional<Entries> entries(std::in_place);
    if (!console::PromptHidden("Password :", entries->password) ||
        !console::PromptHidden("Confirm :", entries->confirmation)) {
        error = "geen wachtwoord ingevoerd.";
        return std::nullopt;
    }
    // A mismatch is the mode button's to judge, as in the window.
    return entries;
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
    CliScreen screen(console::ErrorIsTerminal());
    ErrorLines errors(screen);
    console::Host host =
        console::OpenHost(argc, argv, [&errors](const std::string& text) { errors.Message(text); });
    // The window takes its target from the command line; here that is PAD alone.
    host.facts.commandLine = options->path;
    if (options->command == "register") return Register(host, errors, !options->noContextMenu);
    if (options->command == "unregister") return Unregister(host, errors);

    CliRunRequest request;
    request.mode = options->command == "decrypt" ? RunMode::Decrypt : RunMode::Encrypt;
    request.path = options->path;
    request.passwordFile = options->passwordFile;
    request.log = options->log;
    request.strong = options->strong;
    request.stopOnWrongKey = options->stopOnWrongKey;
    CliRun run(CliHost{*host.clock, *host.regional, *host.registry, host.facts}, errors, screen,
               request);
    CliOutcome outcome =
        run.Run([&options](std::string& error) { return ReadPassword(*options, error); });
    outcome.signal = console::StopSignal();
    return ExitStatus(outcome);
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
