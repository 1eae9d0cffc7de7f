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

class CliRun : private RunEvents {
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
    // false: the PIN was refused, and told.
    bool PinGate(const std::string& password);
    void RunOneFile();
    void RunFolder();
    // After a pass: the target folder that could not be read is named once; a script goes on.
    void TellUnreadableTarget();
    void TellFileNotDone(int messagesBefore);

    void Yield() override;
    void FileStepBegins() override {}
    void FileStarted(const std::string& path) override;
    void Progress(std::int64_t) override {}
    void CountsChanged() override {}
    void Skipped(const std::string& nameOrPath) override;
    void Left(const std::string& path, LeftReason reason) override;
    void Transformed(const std::string& newName, bool decrypted) override;
    void NotOverwritten(const std::string& path, LeftReason reason) override;
    void FileSystemNoted(FileSystemNote note, const std::string& folder,
                         const std::string& fileSystem) override;
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

    CliHost host_;
    ErrorLines& errors_;
    CliScreen& screen_;
    CliRunRequest request_;
    int messagesShown_ = 0;
    std::string currentFile_, percent_;
    std::string lastLeftPath_;
    LeftReason lastLeftReason_ = LeftReason::NotFound;
    bool toldUnreadable_ = false;
    // Last: it is gone before the fields its events write to.
    RunSession session_;
};

}  // namespace kolvik::cli
