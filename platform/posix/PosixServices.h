// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The services that a Linux desktop gives without any window system.
#include "platform/Services.h"

namespace kolvik {

// Times, dates and the decimal separator from the process locale (LC_TIME, LC_NUMERIC).
class LocaleRegional : public Regional {
  public:
    std::string TimeOfDay(WallClock::time_point t) override;
    std::string ShortDate(WallClock::time_point t) override;
    std::string DecimalSeparator() override;
};

// Every kind opens in the desktop's own viewer for it (xdg-open), started detached so that
// the viewer outlives nothing of ours; a desktop program places its own window.
class XdgLauncher : public Launcher {
  public:
    void OpenForViewing(ViewKind kind, const std::string& path) override;
};

// argv[0] and the rest of the command line, as the program was started.
ProcessFacts ReadProcessFacts(int argc, char** argv);

}  // namespace kolvik
