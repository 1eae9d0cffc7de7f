// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CliTerminal.h"

#include <iostream>

#include "session/Texts.h"

namespace kolvik::cli {
namespace {

std::string ForTerminal(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    return text;
}

// A file name may hold a line break or an escape sequence; on one line of a terminal it shows
// them as "?", as ls does.
std::string OnOneLine(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return text;
}

}  // namespace

CliScreen::CliScreen(std::function<bool()> signalled, bool terminal)
    : signalled_(std::move(signalled)), terminal_(terminal) {}

void CliScreen::Yield() {
    if (!form) return;
    if (signalled_() && !form->ExitRequested) form->cmdExit_Click();
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    std::string file = form->lblFiles.text;
    if (file.size() > 60) file = "..." + file.substr(file.size() - 57);
    std::string percent = form->lblPercentage.text;
    percent.erase(0, percent.find_first_not_of(' '));
    std::cerr << "\r\033[K" << OnOneLine(file) << "  " << percent << std::flush;
    progressShown_ = true;
}

void CliScreen::EndProgressLine() {
    if (progressShown_) std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

void ErrorLines::Message(const std::string& text) { Write(ForTerminal(text), Source::Message); }

void ErrorLines::FileLeft(const std::string& path, LeftReason reason) {
    Write(OnOneLine(path) + ": " + std::string(LeftReasonText(reason)), Source::FileLeft);
}

void ErrorLines::Write(const std::string& line, Source source) {
    const bool justSaid = source != lastSource_ && line == lastLine_;
    lastLine_ = justSaid ? std::string() : line;
    lastSource_ = source;
    if (justSaid) return;
    screen_.EndProgressLine();
    std::cerr << line << '\n' << std::flush;
}

MsgAnswer CliDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon) {
    errors_.Message(text);
    (void)buttons;
    const bool wrongKeyQuestion = form != nullptr && form->Asking == frmKolvik::Question::WrongKey;
    return wrongKeyQuestion && stopOnWrongKey_ ? MsgAnswer::Cancel : MsgAnswer::OK;
}

std::vector<std::string> SummaryLines(const frmKolvik& form, bool decrypt,
                                      std::chrono::seconds elapsed) {
    if (!form.LastSummary.empty()) return form.LastSummary;
    const auto minutes = elapsed.count() / 60, seconds = elapsed.count() % 60;
    return {
        "  ",
        "Map: " + (form.HasFolderTarget ? form.TargetFolder : form.svc.process.programFolder),
        std::string(decrypt ? "Ontsleuteld: " : "Versleuteld: ") + std::to_string(form.FilesDone) +
            " bestanden",
        "Overgeslagen: " + std::to_string(form.FilesSkipped) + " bestanden",
        "Totaal: " + std::to_string(form.BytesDone) + " bytes",
        "Verstreken tijd: " + std::to_string(minutes) + " min " + std::to_string(seconds) + " sec"};
}

}  // namespace kolvik::cli
