// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopIntegration.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/posix/AtomicFile.h"
#include "shellfiles/DesktopFiles.h"
#include "shellfiles/KolvikIcon.h"

namespace kolvik {
namespace {

namespace fs = std::filesystem;
using posix::WriteFileAtomically;

// A database tool that has not finished by then is stopped: registration never hangs.
constexpr auto kToolTimeout = std::chrono::seconds(20);

// Where everything goes, under the user's data and configuration folders.
struct Places {
    explicit Places(const UserFolders& f)
        : applications(f.dataHome + "/applications"),
          desktopEntry(applications + "/" + std::string(kDesktopEntryName)),
          mimeFolder(f.dataHome + "/mime"),
          mimeDefinition(mimeFolder + "/packages/kolvik.xml"),
          mimeapps(f.configHome + "/mimeapps.list"),
          nautilusScript(f.dataHome + "/nautilus/scripts/Besleutel met Kolvik"),
          dolphinMenu(f.dataHome + "/kio/servicemenus/kolvik-besleutel.desktop"),
          nemoAction(f.dataHome + "/nemo/actions/kolvik-besleutel.nemo_action"),
          thunarActions(f.configHome + "/Thunar/uca.xml"),
          icons(f.dataHome + "/icons/hicolor") {}
    std::string applications, desktopEntry, mimeFolder, mimeDefinition, mimeapps;
    std::string nautilusScript, dolphinMenu, nemoAction, thunarActions, icons;

    std::string Icon(int size) const {
        const std::string n = std::to_string(size);
        return icons + "/" + n + "x" + n + "/apps/kolvik.png";
    }
};

// nullopt when the file is missing; unreadable counts as missing only for ENOENT.
std::optional<std::string> ReadText(const std::string& path, bool& unreadable) {
    unreadable = false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        unreadable = errno != ENOENT;
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        unreadable = true;
        return std::nullopt;
    }
    return bytes.str();
}

bool CarriesOurMark(const std::string& path) {
    bool unreadable = false;
    const auto text = ReadText(path, unreadable);
    return text && text->find(kDesktopOwnerMark) != std::string::npos;
}

// A second registration rewrites nothing: every write costs two syncs.
void WriteUnlessSame(const std::string& path, const std::string& bytes, mode_t mode) {
    bool unreadable = false;
    struct stat st {};
    if (ReadText(path, unreadable) == bytes && ::stat(path.c_str(), &st) == 0 &&
        (st.st_mode & 07777) == mode)
        return;
    // Silent, as every failure here: the registry entries still stand on their own.
    static_cast<void>(WriteFileAtomically(path, bytes, mode));
}

// A file of the same name that is not ours is the user's, and stays as it is.
void WriteOwned(const std::string& path, const std::string& text, mode_t mode) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)) && !CarriesOurMark(path)) return;
    WriteUnlessSame(path, text, mode);
}

void RemoveOwned(const std::string& path) {
    if (CarriesOurMark(path)) ::unlink(path.c_str());
}

// Rewrites a file that the user shares with us. A link is followed, so that a dotfile
// kept elsewhere stays linked; an empty result removes the file.
void Edit(std::string path, const std::function<std::optional<std::string>(std::string)>& edit) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        const fs::path real = fs::canonical(path, ec);
        if (ec) return;
        path = real.string();
    }
    bool unreadable = false;
    const auto before = ReadText(path, unreadable);
    if (unreadable) return;
    const auto after = edit(before.value_or(""));
    if (!after || *after == before.value_or("")) return;
    if (after->empty()) {
        ::unlink(path.c_str());
        return;
    }
    struct stat st {};
    const mode_t mode = before && ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
    static_cast<void>(WriteFileAtomically(path, *after, mode));
}

std::string FindTool(const std::string& name, const std::vector<std::string>& environment) {
    std::string path = "/usr/bin:/bin";
    for (const auto& entry : environment) {
        if (entry.empty()) break;
        if (entry.rfind("PATH=", 0) == 0) path = entry.substr(5);
    }
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        std::string candidate = dir;
        candidate.append("/").append(name);
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs a tool found on the window's PATH, with the window's environment, and waits.
void RunTool(const std::vector<std::string>& environment, const std::string& name,
             const std::string& argument) {
    const std::string exe = FindTool(name, environment);
    if (exe.empty()) return;
    std::vector<char*> envp;
    for (const auto& entry : environment) {
        if (entry.empty()) break;
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, exe.c_str(), &quiet, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (rc != 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kToolTimeout;
    for (int status = 0;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Thunar falls back to the system's actions while the user has none of their own; a new
// file of ours starts from those, so that they stay in the menu.
std::string SystemThunarActions(const std::vector<std::string>& environment) {
    std::string dirs;
    for (const auto& entry : environment) {
        if (entry.empty()) break;
        if (entry.rfind("XDG_CONFIG_DIRS=", 0) == 0) dirs = entry.substr(16);
    }
    if (dirs.empty()) dirs = "/etc/xdg";
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');) {
        bool unreadable = false;
        if (dir.rfind('/', 0) != 0) continue;
        if (auto text = ReadText(dir + "/Thunar/uca.xml", unreadable)) return *text;
    }
    return {};
}

void UpdateDatabases(const DesktopSetup& setup, const Places& p) {
    std::error_code ec;
    if (fs::is_directory(p.mimeFolder + "/packages", ec))
        RunTool(setup.environment, "update-mime-database", p.mimeFolder);
    if (fs::is_directory(p.applications, ec))
        RunTool(setup.environment, "update-desktop-database", p.applications);
}

// The largest size is REG_Create's own copy of the icon; the others are drawn from it.
void InstallIcons(const Places& p) {
    for (int size : kIconThemeSizes)
        if (size != 256) WriteUnlessSame(p.Icon(size), KolvikIconPng(size), 0644);
}

// Without a home folder the defaults would point at the root of the file system.
bool HasHome(const DesktopSetup& setup) { return setup.folders.home.rfind('/', 0) == 0; }

}  // namespace

void InstallFileAssociation(const DesktopSetup& setup) {
    if (!HasHome(setup)) return;
    const Places p(setup.folders);
    WriteOwned(p.desktopEntry, DesktopEntry(setup.program, setup.icon), 0644);
    WriteOwned(p.mimeDefinition, MimeDefinition(), 0644);
    InstallIcons(p);
    Edit(p.mimeapps, [](const std::string& text) { return SetDefaultApplication(text); });
    UpdateDatabases(setup, p);
}

void InstallContextMenus(const DesktopSetup& setup) {
    if (!HasHome(setup)) return;
    const Places p(setup.folders);
    InstallIcons(p);
    WriteOwned(p.nautilusScript, NautilusScript(setup.program), 0755);
    // KIO runs a service menu in the user's folders only when it is executable.
    WriteOwned(p.dolphinMenu, DolphinServiceMenu(setup.program, setup.icon), 0755);
    WriteOwned(p.nemoAction, NemoAction(setup.program, setup.icon), 0644);
    const std::string system = SystemThunarActions(setup.environment);
    Edit(p.thunarActions, [&](const std::string& text) {
        return MergeThunarAction(text.empty() ? system : text, setup.program, setup.icon);
    });
}

void RemoveDesktopIntegration(const DesktopSetup& setup) {
    if (!HasHome(setup)) return;
    const Places p(setup.folders);
    for (const auto* path :
         {&p.nautilusScript, &p.dolphinMenu, &p.nemoAction, &p.desktopEntry, &p.mimeDefinition})
        RemoveOwned(*path);
    const std::string system = SystemThunarActions(setup.environment);
    Edit(p.thunarActions, [&](const std::string& text) {
        std::string rest = UnmergeThunarAction(text);
        // What is left of a file we started from the system's actions is theirs, not the user's.
        return rest != text && rest == system ? std::string() : rest;
    });
    Edit(p.mimeapps, [](const std::string& text) { return UnsetDefaultApplication(text); });
    // An icon is ours when it is exactly the picture we draw.
    for (int size : kIconThemeSizes) {
        bool unreadable = false;
        if (size != 256 && ReadText(p.Icon(size), unreadable) == KolvikIconPng(size))
            ::unlink(p.Icon(size).c_str());
    }
    UpdateDatabases(setup, p);
}

}  // namespace kolvik
