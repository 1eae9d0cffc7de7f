// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvik-cli's terminal: the progress line and standard error line by line.
#include <chrono>
#include <string>

#include "engine/LeftReason.h"

namespace kolvik::cli {

// The progress line on standard error, redrawn at most ten times a second.
class CliScreen {
  public:
    // terminal: whether standard error is one, which a progress line needs.
    explicit CliScreen(bool terminal) : terminal_(terminal) {}
    CliScreen(const CliScreen&) = delete;
    CliScreen& operator=(const CliScreen&) = delete;

    void Draw(const std::string& file, const std::string& percent);
    // Clears the progress line so that a full line can be written in its place.
    void EndProgressLine();

  private:
    bool progressShown_ = false;
    // Asked once: a draw comes with every block of every file.
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

}  // namespace kolvik::cli
