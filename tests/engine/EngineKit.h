// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine alone: a FileTransformer and a TreeWalk over events that are written down, with
// no session and no window between them and the test.
#include <functional>
#include <string>
#include <vector>

#include "Helpers.h"
#include "engine/FileTransformer.h"
#include "engine/TreeWalk.h"

namespace kolvik::test {

struct RecordedEvents final : RunEvents {
    test::Left left;                     // what the run set out to transform and left, in order
    std::vector<std::string> skipped;    // what the log's SKIP lines would name
    std::vector<std::string> asked;      // the files a wrong-key question was about
    test::Left unopenable;               // files named on their own that did not open
    std::vector<std::string> fullDisks;  // the folders a full disk was told for
    std::function<void()> onYield;       // runs inside a yield, as a click would
    int accessAsked = 0;                 // whether to go on without access to a file's size

    void Yield() override {
        if (onYield) onYield();
    }
    void FileStepBegins() override {}
    void FileStarted(const std::string&) override {}
    void Progress(std::int64_t) override {}
    void CountsChanged() override {}
    void Skipped(const std::string& nameOrPath) override { skipped.push_back(nameOrPath); }
    void Left(const std::string& path, LeftReason reason) override {
        left.emplace_back(path, reason);
    }
    void Transformed(const std::string&, bool) override {}
    // Done all the same, but named as a file left is.
    void NotOverwritten(const std::string& path, LeftReason r) override { Left(path, r); }
    bool GoOnWithoutAccess() override { return ++accessAsked, true; }
    WrongKeyAnswer AskWrongKey(const std::string& path) override {
        asked.push_back(path);
        return WrongKeyAnswer::GoOn;
    }
    void TellUnopenable(const std::string& path, LeftReason reason) override {
        unopenable.emplace_back(path, reason);
    }
    void DiskFull(const std::string& folder) override { fullDisks.push_back(folder); }
    void Exited() override {}
    void StoppedAtTargetFiles() override {}
    void StoppedBetweenFolders() override {}
    void Measuring(bool) override {}
};

// A run's engine in a program folder of its own, with the key given and a mode time after
// every file the test writes (an hour ahead).
struct Engine {
    explicit Engine(std::string key = "geheim");
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    TempDir programFolder;
    RunStats stats;
    StopFlags flags;
    RunReport report;
    RecordedEvents events;
    FileTransformer files{stats, flags, report, events};
    TreeWalk walk{files, stats, flags, report, events};
    WallClock::time_point modeTime;
    bool strong = false;  // encrypt in the strong format

    // A folder run: the target's own files, then every folder below it.
    void Run(const std::string& target, bool decrypting);
    void Encrypt(const std::string& target) { Run(target, false); }
    void Decrypt(const std::string& target) { Run(target, true); }
    void EncryptStrong(const std::string& target);
    // One file as the target, as when it is named on the command line; whether it was done.
    bool RunFile(const std::string& folder, const std::string& name, bool decrypting);

  private:
    // What the session tells the engine before every step; the end of a run wipes the key.
    void Prepare(bool singleFile);
    std::string key_;
};

}  // namespace kolvik::test
