// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/InstalledFolders.h"

#include <filesystem>
#include <sstream>
#include <string_view>

#include "engine/PathHelpers.h"

namespace kolvik {
namespace {

std::string Canonical(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(FsPath(path), ec);
    return ec ? path : Utf8Path(p.lexically_normal());
}

bool IsSameOrBelow(const std::string& folder, const std::string& root) {
    if (root.empty()) return false;
    const std::string r = root.back() == '/' ? root.substr(0, root.size() - 1) : root;
    return folder == r || folder.rfind(r + "/", 0) == 0;
}

std::string EnvValue(const std::vector<std::string>& environment, const std::string& name) {
    for (const auto& entry : environment)
        if (entry.rfind(name + "=", 0) == 0) return entry.substr(name.size() + 1);
    return {};
}

// Windows paths compare without regard to letter case or to the kind of slash, and a
// trailing separator or a pair of quotes (as PATH entries may carry) changes nothing.
std::string WindowsKey(std::string path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    for (char& c : path) {
        if (c == '/') c = '\\';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

// Names of the environment ignore letter case on Windows ("Path", "PATH").
std::string WindowsEnvValue(const std::vector<std::string>& environment, std::string_view name) {
    for (const auto& entry : environment) {
        if (entry.size() > name.size() && entry[name.size()] == '=' &&
            EqualsAnyCase(std::string_view(entry).substr(0, name.size()), name)) {
            return entry.substr(name.size() + 1);
        }
    }
    return {};
}

bool HoldsWindowsPrograms(const std::string& folder, const std::vector<std::string>& environment) {
    const std::string f = WindowsKey(folder);
    const auto below = [&f](const std::string& root) {
        const std::string r = WindowsKey(root);
        if (r.empty()) return false;
        const std::string prefix = r.back() == '\\' ? r : r + '\\';
        return f == r || f.rfind(prefix, 0) == 0;
    };
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"})
        if (below(WindowsEnvValue(environment, name))) return true;
    const std::string local = WindowsEnvValue(environment, "LOCALAPPDATA");
    if (!local.empty() && below(local + "\\Programs")) return true;
    std::stringstream path(WindowsEnvValue(environment, "PATH"));
    for (std::string entry; std::getline(path, entry, ';');)
        if (!entry.empty() && WindowsKey(entry) == f) return true;
    // Any setup's uninstaller, ours included, marks a folder as installed.
    std::error_code ec;
    return std::filesystem::is_regular_file(FsPath(folder) / "Uninstall.exe", ec);
}

}  // namespace

bool HoldsInstalledPrograms(const std::string& folder, const std::vector<std::string>& environment,
                            bool windows) {
    if (windows) return HoldsWindowsPrograms(folder, environment);
    const std::string f = Canonical(folder);
    for (const char* root : {"/usr", "/bin", "/sbin", "/lib", "/lib64", "/opt", "/etc"})
        if (IsSameOrBelow(f, root)) return true;
    const std::string home = EnvValue(environment, "HOME");
    if (!home.empty() && IsSameOrBelow(f, Canonical(home + "/.local/bin"))) return true;
    std::stringstream path(EnvValue(environment, "PATH"));
    for (std::string entry; std::getline(path, entry, ':');)
        if (!entry.empty() && Canonical(entry) == f) return true;
    return false;
}

}  // namespace kolvik
