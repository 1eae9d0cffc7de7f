// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An encryption or decryption run of kolvik-cli: the run session driven directly, its events
// turned into lines on the terminal. Messages go to standard error, the summary to standard
// output; questions are answered as a script would want them answered.
#include <functional>
#include <optional>
#include <string>

#include "app/CliExitStatus.h"
#include "app/CliTerminal.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "session/RunSession.h"
#include "session/SecretText.h"

namespace kolvik::cli {

struct CliHost {
    Clock& clock;
    Regional& regional;
    Registry& registry;
    const ProcessFacts& facts;
};

struct CliRunRequest {
    RunMode mode = RunMode::Encrypt;
    std::string path;
    std::string passwordFile;  // read by the run, so never transformed by it; "" or "-": none
    bool log = false, strong = false, stopOnWrongKey = false;
};

// Copies, not moves, and each copy wiped when it goes.
struct Entries {
    std::string password, confirmation;
    ~Entries() {
        WipeText(password);
        WipeText(confirmation);
    }
};

class CliRun : private RunEvents, private RunFront {
  public:
    CliRun(CliHost host, ErrorLines& errors, CliScreen& screen, CliRunRequest request);

    // The target, refused before a password is asked: a refusal line has been written.
    bool TakeTarget();
    // readPassword: the entries, or empty with the reason in error.
    CliOutcome Run(const std::function<std::optional<Entries>(std::string& error)>& readPassword);

  private:
    void Message(const std::string& text);
    void Log(const std::string& text);
    CliOutcome Refuse(CliOutcome outcome, const std::string& line);

    void Yield() override;
    void FileStepBegins() override {}
    void FileStarted(const std::string& path) override;
    void Progress(std::int64_t) override {}
    void CountsChanged() override {}
    void Skipped(const std::string& nameOrPath) override;
    void Left(const std::string& path, LeftReason reason) override;
    void Transformed(const std::string& newName, bool decrypted) override;
    void NotOverwritten(const std::string& path, LeftReason reason) override;
    bool GoOnWithoutAccess() override;
    WrongKeyAnswer AskWrongKey(const std::string& path) override;
    void TellUnopenable(const std::string& path, LeftReason reason) override;
    void DiskFull(const std::string& folder) override;
    void Exited() override {}
    void StoppedAtTargetFiles() override {}
    void StoppedBetweenFolders() override {}
    void Measuring(bool) override {}
    bool PauseRequested() override;
    void Pause() override;
    // The run's messages are lines on standard error; a script goes on without access.
    void Tell(const std::string& text, Tone tone) override;
    bool GoOnWithoutTargetAccess(const std::string& text) override;
    void LogLine(const std::string& text) override;

    CliHost host_;
    ErrorLines& errors_;
    CliScreen& screen_;
    CliRunRequest request_;
    std::string currentFile_, percent_;
    // Last: it is gone before the fields its events write to.
    RunSession session_;
};

}  // namespace kolvik::cli
