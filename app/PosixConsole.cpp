// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli's console on Linux: a terminal, SIGINT and SIGTERM, file descriptors.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "app/Console.h"
#include "platform/posix/PosixServices.h"
#include "platform/posix/RegistryStore.h"
#include "session/SecretText.h"

namespace kolvik::cli::console {
namespace {

// The first of SIGINT and SIGTERM that came; the exit status tells them apart.
volatile std::sig_atomic_t gSignal = 0;
extern "C" void OnSignal(int signal) {
    if (gSignal == 0) gSignal = signal;
}

}  // namespace

std::vector<std::string> Start(int argc, char** argv) {
    // A closed pipe on standard output or a file size limit must not end a run half-way: the
    // writes fail instead (EPIPE, EFBIG), and a failed copy leaves its original as it was.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void CatchStopRequests() {
    // No SA_RESTART: a password read that waits on a pipe or a terminal ends at once.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return gSignal; }

bool InputIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool ErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool PromptHidden(const char* prompt, std::string& line) {
    std::cerr << prompt << std::flush;
    termios old{};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    // Room for the longest password, so that the line does not move while it grows.
    WipeText(line);
    line.reserve(kPasswordReadLimit);
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::cerr << '\n';
    return ok;
}

PasswordLine ReadPasswordFromInput() { return ReadPasswordLine(STDIN_FILENO, "standaardinvoer"); }

PasswordLine ReadPasswordFromFile(const std::string& path, const std::string& openError) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {std::nullopt, openError};
    PasswordLine line = ReadPasswordLine(fd, path);
    close(fd);
    return line;
}

Host OpenHost(int argc, char** argv, const std::function<void(const std::string&)>& notice) {
    auto registry = std::make_unique<FileRegistry>(DefaultRegistryPath());
    registry->onNotice = notice;
    return {std::make_unique<SystemClock>(), std::make_unique<LocaleRegional>(),
            std::move(registry), ReadProcessFacts(argc, argv)};
}

}  // namespace kolvik::cli::console
