// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a run asks of its front end beside the engine's events: the messages only the user can
// read and the questions only the user can answer. The window shows message boxes, kolvik-cli
// writes lines and answers as a script would.
#include <string>

namespace kolvik {

// How a message is shown where that can differ: plain, a warning, a notice.
enum class Tone { Plain, Warning, Notice };

class RunFront {
  public:
    virtual ~RunFront() = default;
    virtual void Tell(const std::string& text, Tone tone) = 0;
    // The target folder itself could not be opened or listed: go on with what can be read?
    virtual bool GoOnWithoutTargetAccess(const std::string& text) = 0;
    // A line for the activity log; asked for only when the request logs.
    virtual void LogLine(const std::string& text) = 0;
    // The guards are passed and the files come next.
    virtual void FilesNext() {}
};

}  // namespace kolvik
