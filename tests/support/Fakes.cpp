// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Fakes.h"

namespace kolvik::test {

MsgAnswer FakeDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    shown.push_back({text, buttons, icon});
    if (onMsgBox) onMsgBox(text);
    if (answers.empty()) return MsgAnswer::OK;
    const MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

std::vector<std::string> FakeDialogs::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : shown) texts.push_back(m.text);
    return texts;
}

void FakeDialogs::ShowModal(Form& form) {
    modalForms.push_back(form.caption);
    if (onShowModal) onShowModal(form);
}

void FakeScreen::Yield() {
    ++yields;
    if (onYield) onYield();
}

std::optional<std::string> MapRegistry::RegRead(const std::string& name) {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
}

bool MapRegistry::RegWrite(const std::string& name, const std::string& value) {
    values[name] = value;
    return true;
}

bool MapRegistry::RegDelete(const std::string& name) { return values.erase(name) > 0; }

TestWindow::TestWindow(const std::string& programFolder, const std::string& commandLine,
                       Registry* store, std::vector<std::string> environment, Dialogs* shownBy) {
    const ProcessFacts facts{commandLine, programFolder, "kolvik", programFolder,
                             std::move(environment)};
    form =
        std::make_unique<frmKolvik>(Services{shownBy ? *shownBy : dialogs, screen, keys, clock,
                                             regional, launcher, store ? *store : registry, facts});
}

void TestWindow::Press(const std::string& password, bool decrypt) {
    clock.now = WallClock::now();
    form->txtPassword_1.text = form->txtPassword_2.text = password;
    form->OnClick(decrypt ? form->cmdDecrypt : form->cmdEncrypt);
    form->OnClick(decrypt ? form->cmdGoDecrypt : form->cmdGoEncrypt);
}

}  // namespace kolvik::test
