// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/NameRules.h"

#include <algorithm>

namespace kolvik {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

bool EqualsAnyCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool EndsWithAnyCase(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           EqualsAnyCase(text.substr(text.size() - ending.size()), ending);
}

bool IsProgramFile(std::string_view name, std::string_view exeName, bool windows) {
    if (!exeName.empty() && EqualsAnyCase(name, exeName)) return true;
    for (std::string_view own : {"Kolvik.exe", "kolvik", "kolvik-cli"})
        if (EqualsAnyCase(name, own)) return true;
    if (!windows) return false;
    for (std::string_view own : {"kolvik-cli.exe", "Uninstall.exe", "Kolvik.ico"})
        if (EqualsAnyCase(name, own)) return true;
    return false;
}

bool IsProgramCompanion(std::string_view name) {
    return EqualsAnyCase(name, "README.md") || EqualsAnyCase(name, "LICENSE");
}

bool IsLogFile(std::string_view name) { return EqualsAnyCase(name, "Kolvik.log"); }

bool IsReservedOnWindows(std::string_view name) {
    if (name.empty()) return false;
    if (name.back() == '.' || name.back() == ' ') return true;
    // The device name is what precedes the first dot, trailing spaces ignored ("nul .txt").
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
        if (EqualsAnyCase(stem, device)) return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9') {
        const std::string_view word = stem.substr(0, 3);
        return EqualsAnyCase(word, "COM") || EqualsAnyCase(word, "LPT");
    }
    return false;
}

}  // namespace kolvik
