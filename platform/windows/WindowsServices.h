// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The services that Windows itself gives, without a window of ours.
#include <string>

#include "platform/Registry.h"
#include "platform/Services.h"

namespace kolvik {

// The user's own formats from the regional settings, not the process locale.
class UserRegional : public Regional {
  public:
    std::string TimeOfDay(WallClock::time_point t) override;
    std::string ShortDate(WallClock::time_point t) override;
    std::string DecimalSeparator() override;
};

// Text opens in notepad from the Windows folder, a PDF in Foxit Reader when that is the PDF
// handler; a document, a PDF under another handler, or one without Foxit's command, in the
// file's associated program. Every viewer comes up maximised with the focus.
class ShellLauncher : public Launcher {
  public:
    // windowsFolder: SystemRoot, without a trailing "\"; registry: where Foxit's command is.
    ShellLauncher(Registry& registry, std::string windowsFolder);
    void OpenForViewing(ViewKind kind, const std::string& path) override;

  protected:
    // The starts themselves, which the rule tests record instead. Word by automation needs
    // COM, which only Kolvik.exe sets up; here there is no Word.
    virtual bool OpenInWord(const std::string& path);
    // The associated program, through ShellExecuteExW.
    virtual bool OpenDocument(const std::string& path);
    // CreateProcessW; the program is found as the system finds it.
    virtual bool StartProgram(const std::string& commandLine);

  private:
    void OpenPdf(const std::string& path);

    Registry& registry_;
    std::string windowsFolder_;
};

// The Windows folder, from the SystemRoot environment entry; empty without one.
std::string WindowsFolder();

// The running program's folder and name, its command line after its own name, and its
// environment; Kolvik.log goes beside the program when the user may write there.
ProcessFacts ReadProcessFacts();

// The arguments of a command line as Command$ gives them: without the program's own name, nor
// the mark of the open command of .kol files before the path.
std::string ArgumentsOf(const std::wstring& commandLine);

// Whether the command line is that open command's (kOpenCommandMark first), which the shell
// follows with a DDE conversation for the window it started.
bool OpenCommandLine(const std::wstring& commandLine);

}  // namespace kolvik
