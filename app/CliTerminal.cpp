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

void CliScreen::Draw(const std::string& path, const std::string& percent) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    std::string file = path;
    if (file.size() > 60) file = "..." + file.substr(file.size() - 57);
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

}  // namespace kolvik::cli
