// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passes the engine's events on to the front end and keeps what the run must say after a
// step: whether the step told the user anything, the last file it left, and the notes on file
// systems, which come once at the end of a run.
#include <string>
#include <vector>

#include "engine/RunEvents.h"

namespace kolvik {

class RunRelay final : public RunEvents {
  public:
    explicit RunRelay(RunEvents& front) : front_(front) {}

    void BeginStep() {
        told = false;
        leftPath.clear();
    }
    bool told = false;  // a message or question came during the step
    std::string leftPath;
    LeftReason leftReason = LeftReason::NotFound;
    std::vector<std::string> notes;

    void Yield() override { front_.Yield(); }
    void FileStepBegins() override { front_.FileStepBegins(); }
    void FileStarted(const std::string& path) override { front_.FileStarted(path); }
    void Progress(std::int64_t position) override { front_.Progress(position); }
    void CountsChanged() override { front_.CountsChanged(); }
    void Skipped(const std::string& nameOrPath) override { front_.Skipped(nameOrPath); }
    void Left(const std::string& path, LeftReason reason) override {
        leftPath = path;
        leftReason = reason;
        front_.Left(path, reason);
    }
    void Transformed(const std::string& newName, bool decrypted) override {
        front_.Transformed(newName, decrypted);
    }
    void NotOverwritten(const std::string& path, LeftReason reason) override {
        front_.NotOverwritten(path, reason);
    }
    void FileSystemNoted(FileSystemNote note, const std::string& folder,
                         const std::string& fileSystem) override;
    bool GoOnWithoutAccess() override {
        told = true;
        return front_.GoOnWithoutAccess();
    }
    WrongKeyAnswer AskWrongKey(const std::string& path) override {
        told = true;
        return front_.AskWrongKey(path);
    }
    void TellUnopenable(const std::string& path, LeftReason reason) override {
        told = true;
        front_.TellUnopenable(path, reason);
    }
    void DiskFull(const std::string& folder) override {
        told = true;
        front_.DiskFull(folder);
    }
    void Exited() override { front_.Exited(); }
    void StoppedAtTargetFiles() override { front_.StoppedAtTargetFiles(); }
    void StoppedBetweenFolders() override { front_.StoppedBetweenFolders(); }
    void Measuring(bool busy) override { front_.Measuring(busy); }
    bool PauseRequested() override { return front_.PauseRequested(); }
    void Pause() override { front_.Pause(); }

  private:
    RunEvents& front_;
};

}  // namespace kolvik
