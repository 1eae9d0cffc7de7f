// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixServices.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <ctime>
#include <filesystem>

extern char** environ;

namespace kolvik {
namespace {

std::string Format(WallClock::time_point t, const char* format) {
    const std::time_t seconds = WallClock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

}  // namespace

std::string LocaleRegional::TimeOfDay(WallClock::time_point t) { return Format(t, "%H:%M:%S"); }
std::string LocaleRegional::ShortDate(WallClock::time_point t) { return Format(t, "%x"); }
std::string LocaleRegional::DecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    return conv && conv->decimal_point && *conv->decimal_point ? conv->decimal_point : ".";
}

namespace {

// Double fork: the program is re-parented to init and never becomes our zombie.
bool StartDetached(const char* const* argv) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        if (fork() == 0) execvp(argv[0], const_cast<char**>(argv));
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return true;
}

}  // namespace

void XdgLauncher::OpenForViewing(ViewKind, const std::string& path) {
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    (void)StartDetached(argv);
}

ProcessFacts ReadProcessFacts(int argc, char** argv) {
    namespace fs = std::filesystem;
    ProcessFacts facts;
    facts.argumentGiven = argc > 1;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) facts.commandLine += ' ';
        facts.commandLine += argv[i];
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) exe = fs::absolute(argc > 0 ? argv[0] : "kolvik", ec);
    facts.exeName = exe.filename().string();
    facts.programFolder = exe.parent_path().string();
    if (access(facts.programFolder.c_str(), W_OK) == 0) {
        facts.dataFolder = facts.programFolder;
    } else {
        const std::string home = EnvOr("HOME", "/tmp");
        facts.dataFolder = EnvOr("XDG_STATE_HOME", home + "/.local/state") + "/kolvik";
        fs::create_directories(facts.dataFolder, ec);
    }
    for (char** e = environ; e && *e; ++e) facts.environment.emplace_back(*e);
    return facts;
}

}  // namespace kolvik
