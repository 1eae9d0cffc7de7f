// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvik-cli's terminal: the progress line, standard error line by line, and the answers to the
// window's questions.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/LeftReason.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik::cli {

// Yields become the moments to notice a signal and to redraw the progress line.
class CliScreen : public Screen {
  public:
    // terminal: whether standard error is one, which a progress line needs.
    CliScreen(std::function<bool()> signalled, bool terminal);
    CliScreen(const CliScreen&) = delete;
    CliScreen& operator=(const CliScreen&) = delete;
    frmKolvik* form = nullptr;

    void Yield() override;
    void SetMousePointer(MousePointer) override {}
    // Clears the progress line so that a full line can be written in its place.
    void EndProgressLine();

  private:
    std::function<bool()> signalled_;
    bool progressShown_ = false;
    // Asked once: a yield comes with every block of every file.
    const bool terminal_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Standard error, one line per message box and one per file left, never in the middle of the
// progress line.
class ErrorLines {
  public:
    explicit ErrorLines(CliScreen& screen) : screen_(screen) {}
    void Message(const std::string& text);
    // "PAD: reden".
    void FileLeft(const std::string& path, LeftReason reason);

  private:
    enum class Source { Message, FileLeft };
    // The wrong-key question and the report of the same file read alike: when one follows the
    // other, the second is not written.
    void Write(const std::string& line, Source source);
    CliScreen& screen_;
    std::string lastLine_;
    Source lastSource_ = Source::Message;
};

// Every message box goes to standard error. Questions are answered OK, except a wrong key
// under --stop-on-wrong-key.
class CliDialogs : public Dialogs {
  public:
    CliDialogs(ErrorLines& errors, bool stopOnWrongKey)
        : errors_(errors), stopOnWrongKey_(stopOnWrongKey) {}
    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon) override;
    void ShowModal(Form& form) override { form.Unload(); }
    const frmKolvik* form = nullptr;  // whose questions are answered

  private:
    ErrorLines& errors_;
    bool stopOnWrongKey_;
};

// The summary block of a folder run: the window's, or, when the run stopped before it made
// one, the same lines from its counters.
std::vector<std::string> SummaryLines(const frmKolvik& form, bool decrypt,
                                      std::chrono::seconds elapsed);

}  // namespace kolvik::cli
