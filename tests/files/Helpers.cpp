// SPDX-License-Identifier: GPL-3.0-or-later
#include "Helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "Reference.h"

namespace kolvik::test {
namespace fs = std::filesystem;

Tree Snapshot(const std::string& root) {
    Tree out;
    const fs::path top = PathOf(root);
    for (const auto& e : fs::recursive_directory_iterator(top)) {
        out[Utf8Of(e.path().lexically_relative(top))] =
            e.is_symlink()        ? "link:" + Utf8Of(fs::read_symlink(e.path()))
            : e.is_directory()    ? std::string("dir")
            : e.is_regular_file() ? "file:" + ReadFile(Utf8Of(e.path()))
                                  : std::string("other");
    }
    return out;
}

namespace {

// Presses the mode button, with the entries and the "Sterk" box as they stand.
void ChooseMode(frmKolvik& form, bool decrypting) {
    decrypting ? form.cmdDecrypt_Click() : form.cmdEncrypt_Click();
    EXPECT_FALSE(form.session.Report().passwordRefused);
}

}  // namespace

Window::Window(const std::string& key) : TestWindow(programFolder.path()) {
    form->txtPassword_1.text = form->txtPassword_2.text = key;
    clock.now = std::chrono::system_clock::now() + std::chrono::hours(1);  // the mode press
    form->LoggingOn = true;
    // The least cost a reader accepts: a strong run then takes a tenth of a second, not one.
    form->session.StrongCost = {.memoryKiB = 65'536, .passes = 1, .lanes = 1};
    form->FileLeft = [this](const std::string& path, LeftReason r) { left.emplace_back(path, r); };
}

void Window::Run(const std::string& target, bool decrypting) {
    ChooseMode(*form, decrypting);
    form->session.TransformTargetFiles(target);
    form->session.TransformSubfolders(target);
    form->session.EndRun();  // as every run ends: its folders, and their claims, let go
}

void Window::EncryptStrong(const std::string& target) {
    form->chkSterk.value = 1;
    Run(target, false);
}

bool Window::RunFile(const std::string& folder, std::string name, bool decrypting) {
    form->session.TakeFileTargetForTests(folder + "/" + name);
    ChooseMode(*form, decrypting);
    const FileOutcome out = decrypting ? form->session.DecryptOne(folder, name)
                                       : form->session.EncryptOne(folder, name);
    form->session.EndRun();
    return out.result == FileResult::Done;
}

std::vector<std::string> Window::Skips() const {
    std::vector<std::string> names;
    std::istringstream log(ReadFile(programFolder / "Kolvik.log"));
    // "12:34:56 SKIP name" in quotes, ended by CR LF.
    for (std::string line; std::getline(log, line);)
        if (line.starts_with("\"12:34:56 SKIP "))
            names.push_back(line.substr(15, line.size() - 17));
    return names;
}

KolPair PlantOne(const std::string& dir, const std::string& stem, const std::string& plain,
                 bool decrypting) {
    const std::string kol = RefEncrypted("geheim", "txt", plain);
    const KolPair p = decrypting ? KolPair{stem + "_txt.kol", stem + ".txt", kol, plain}
                                 : KolPair{stem + ".txt", stem + "_txt.kol", plain, kol};
    WriteFile(dir + "/" + p.name, p.content);
    return p;
}

void Plant(const std::string& root, const std::vector<std::pair<std::string, std::size_t>>& files) {
    for (const auto& [path, size] : files) {
        fs::create_directories(fs::path(root + "/" + path).parent_path());
        WriteFile(root + "/" + path, std::string(size, 'x'));
    }
}

}  // namespace kolvik::test
