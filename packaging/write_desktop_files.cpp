// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the package's desktop entry, MIME type and icon sizes under one folder, with the
// same functions that register a user's own copy, so that the two never differ.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "shellfiles/DesktopFiles.h"
#include "shellfiles/KolvikIcon.h"

namespace {

namespace fs = std::filesystem;

bool Write(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::cerr << "kan niet schrijven: " << path << '\n';
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Gebruik: kolvik-desktop-files MAP\n";
        return 2;
    }
    using namespace kolvik;
    const fs::path share = argv[1];
    // The package puts kolvik on the search path and the icon in the system's theme.
    bool ok = Write(share / "applications" / std::string(kDesktopEntryName),
                    DesktopEntry("kolvik", "kolvik"));
    ok &= Write(share / "mime" / "packages" / "kolvik.xml", MimeDefinition());
    for (int size : kIconThemeSizes) {
        const std::string n = std::to_string(size);
        ok &= Write(share / "icons" / "hicolor" / (n + "x" + n) / "apps" / "kolvik.png",
                    KolvikIconPng(size));
    }
    return ok ? 0 : 1;
}
