// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and folders a run leaves in their old form: counted, logged and reported, each with its
// reason.
#include <string>

#include "engine/RunEvents.h"
#include "platform/SafeFile.h"

namespace kolvik {

class LeftFiles {
  public:
    LeftFiles(RunStats& stats, StopFlags& flags, RunReport& report, RunEvents& events)
        : stats_(stats), flags_(flags), report_(report), events_(events) {}

    // Counts and reports a file left in its old form.
    void Leave(const std::string& folder, const std::string& name, LeftReason reason);
    // Reports a folder that the run did not enter; its files are not counted one by one.
    void LeaveFolder(const std::string& path, LeftReason reason);
    // Counted as skipped and logged, but not reported: nothing was to be done to it.
    void Skip(const std::string& name);

  private:
    RunStats& stats_;
    StopFlags& flags_;
    RunReport& report_;
    RunEvents& events_;
};

// Why a file is left as it is, from what the file layer said.
LeftReason ReasonOf(safefile::Fault fault);

}  // namespace kolvik
