// kolvik-cli: the main window's model driven from a script. It types the password,
// presses the buttons and answers the questions; everything else is the window's own.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <termios.h>

#include "Version.h"
#include "mainwindow/frmKolvik.h"
#include "platform/posix/PosixServices.h"
#include "platform/posix/RegistryStore.h"

namespace {

using namespace kolvik;

volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int) { gInterrupted = 1; }

constexpr int kExitUsage = 2, kExitPinRefused = 3, kExitWrongKey = 4, kExitInterrupted = 130;
const char* const kWrongKeyEnding = ": Onjuiste sleutel";

const char* const kUsage =
    "Gebruik: kolvik-cli encrypt PAD [--password-file BESTAND] [--log]\n"
    "         kolvik-cli decrypt PAD [--password-file BESTAND] [--log] [--stop-on-wrong-key]\n"
    "         kolvik-cli register [--no-context-menu]\n"
    "         kolvik-cli unregister\n"
    "         kolvik-cli --help | --version\n"
    "\n"
    "PAD is een bestand of een map. Het wachtwoord wordt twee keer gevraagd (zonder echo)\n"
    "als standaardinvoer een terminal is, of gelezen uit de eerste regel van BESTAND\n"
    "(\"-\" leest standaardinvoer). Met --log wordt het activiteitenlogboek bijgehouden.\n";

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string ForTerminal(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    return text;
}

struct Options {
    std::string command, path, passwordFile;
    bool log = false, stopOnWrongKey = false, noContextMenu = false;
};

class CliDialogs : public Dialogs {
public:
    explicit CliDialogs(bool stopOnWrongKey) : stopOnWrongKey_(stopOnWrongKey) {}
    bool pinRefused = false, wrongKeyOnSingleFile = false;
    std::function<void()> beforeMessage;

    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon) override {
        if (beforeMessage) beforeMessage();
        std::cerr << ForTerminal(text) << '\n';
        pinRefused |= text == "Foute PIN-code";
        const bool wrongKey = EndsWith(text, kWrongKeyEnding);
        wrongKeyOnSingleFile |= wrongKey && buttons == MsgButtons::OK;
        return wrongKey && stopOnWrongKey_ ? MsgAnswer::Cancel : MsgAnswer::OK;
    }
    void ShowModal(Form& form) override { form.Unload(); }

private:
    bool stopOnWrongKey_;
};

// Yields become the moments to notice Ctrl+C and to redraw the progress line.
class CliScreen : public Screen {
public:
    frmKolvik* form = nullptr;
    bool progressShown = false;

    void Yield() override {
        if (!form) return;
        if (gInterrupted && !form->ExitRequested) form->cmdExit_Click();
        if (!terminal_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        std::string file = form->lblFiles.text;
        if (file.size() > 60) file = "..." + file.substr(file.size() - 57);
        std::string percent = form->lblPercentage.text;
        percent.erase(0, percent.find_first_not_of(' '));
        std::cerr << "\r\033[K" << file << "  " << percent << std::flush;
        progressShown = true;
    }
    void EndProgressLine() {
        if (progressShown) std::cerr << "\r\033[K" << std::flush;
        progressShown = false;
    }
    void SetMousePointer(MousePointer) override {}

private:
    // Asked once: a yield comes with every block of every file.
    const bool terminal_ = isatty(STDERR_FILENO) != 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// A headless run opens no viewer; it names the file instead.
class CliLauncher : public Launcher {
public:
    bool OpenDocument(const std::string& path) override {
        std::cerr << "Ontsleuteld: " << path << '\n';
        return true;
    }
};

std::optional<std::string> PromptHidden(const char* prompt) {
    std::cerr << prompt << std::flush;
    termios old{};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::cerr << '\n';
    if (!ok) return std::nullopt;
    return line;
}

std::optional<std::string> FirstLine(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int UsageError(const std::string& message) {
    std::cerr << "kolvik-cli: " << message << "\n\n" << kUsage;
    return kExitUsage;
}

std::optional<Options> Parse(int argc, char** argv, std::string& error) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--log") o.log = true;
        else if (a == "--stop-on-wrong-key") o.stopOnWrongKey = true;
        else if (a == "--no-context-menu") o.noContextMenu = true;
        else if (a == "--password-file") {
            if (++i == argc) return error = "--password-file verwacht een bestandsnaam.", std::nullopt;
            o.passwordFile = argv[i];
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
    return o;
}

struct Entries {
    std::string password, confirmation;
};

std::optional<Entries> ReadPassword(const Options& o, std::string& error) {
    if (o.passwordFile == "-") {
        auto line = FirstLine(std::cin);
        if (!line) error = "geen wachtwoord op standaardinvoer.";
        return line ? std::optional<Entries>({*line, *line}) : std::nullopt;
    }
    if (!o.passwordFile.empty()) {
        std::ifstream in(o.passwordFile, std::ios::binary);
        auto line = in ? FirstLine(in) : std::nullopt;
        if (!line) error = "kan het wachtwoord niet lezen uit " + o.passwordFile;
        return line ? std::optional<Entries>({*line, *line}) : std::nullopt;
    }
    if (!isatty(STDIN_FILENO)) {
        error = "geen wachtwoord: gebruik --password-file BESTAND, of start vanaf een terminal.";
        return std::nullopt;
    }
    auto first = PromptHidden("Password :");
    auto second = first ? PromptHidden("Confirm :") : std::nullopt;
    if (!second) {
        error = "geen wachtwoord ingevoerd.";
        return std::nullopt;
    }
    // A mismatch is the mode button's to judge, as in the window.
    return Entries{*first, *second};
}

int RunTransform(frmKolvik& form, const Options& o, CliDialogs& dialogs, CliScreen& screen) {
    if (!form.HasFileTarget && !form.HasFolderTarget)
        return UsageError("geen map en geen bestand met een extensie: " + o.path);
    const bool decrypt = o.command == "decrypt";
    Control& modeButton = decrypt ? form.cmdDecrypt : form.cmdEncrypt;
    if (!modeButton.enabled)
        return UsageError(decrypt ? "dit bestand kan alleen worden versleuteld: " + o.path
                                  : "dit bestand kan alleen worden ontsleuteld: " + o.path);
    std::string error;
    const auto entries = ReadPassword(o, error);
    if (!entries) return UsageError(error);
    form.txtPassword_1.text = entries->password;
    form.txtPassword_2.text = entries->confirmation;
    form.chkLoggen.value = o.log ? 1 : 0;
    form.OnClick(form.chkLoggen);
    form.OnClick(modeButton);
    Control& go = decrypt ? form.cmdGoDecrypt : form.cmdGoEncrypt;
    if (!go.enabled) return kExitUsage;  // "Ongelijke invoer" has been shown
    form.OnClick(go);
    screen.EndProgressLine();
    if (form.ExitRequested) return kExitInterrupted;
    if (dialogs.pinRefused) return kExitPinRefused;
    if (dialogs.wrongKeyOnSingleFile) return kExitWrongKey;
    if (!form.HasFileTarget)
        for (const auto& line : form.LastSummary) std::cout << line << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const auto options = Parse(argc, argv, error);
    if (!options) return UsageError(error);
    if (options->command == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (options->command == "--version") {
        std::cout << "kolvik-cli " << KOLVIK_VERSION << '\n';
        return 0;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    ProcessFacts facts = ReadProcessFacts(argc, argv);
    facts.commandLine = options->path;
    CliDialogs dialogs(options->stopOnWrongKey);
    CliScreen screen;
    dialogs.beforeMessage = [&screen] { screen.EndProgressLine(); };
    NoKeyState keys;
    SystemClock clock;
    LocaleRegional regional;
    CliLauncher launcher;
    FileRegistry registry(DefaultRegistryPath());
    registry.onNotice = [&dialogs](const std::string& text) {
        dialogs.MsgBox(text, MsgButtons::OK, MsgIcon::Exclamation);
    };
    frmKolvik form(Services{dialogs, screen, keys, clock, regional, launcher, registry, facts});
    screen.form = &form;

    form.Form_Load();
    if (form.unloaded) return 0;
    if (options->command == "register") {
        form.RegKolExtension = "ja";
        form.RegContextMenu = options->noContextMenu ? "nee" : "ja";
        form.REG_Create();
        form.KolRegisterd = true;
        return 0;
    }
    if (options->command == "unregister") {
        form.REG_Delete();
        form.REG_Check();
        return 0;
    }
    return RunTransform(form, *options, dialogs, screen);
}
