// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/InstalledFolders.h"

#include <filesystem>
#include <sstream>

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

}  // namespace

bool HoldsInstalledPrograms(const std::string& folder,
                            const std::vector<std::string>& environment) {
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
