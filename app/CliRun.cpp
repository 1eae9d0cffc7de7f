// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CliRun.h"

#include <chrono>
#include <filesystem>
#include <iostream>

#include "app/Console.h"
#include "app/Suspend.h"
#include "engine/PathHelpers.h"
#include "session/ActivityLog.h"
#include "session/SecretText.h"
#include "session/Texts.h"

namespace kolvik::cli {
namespace {

// Int(done / total * 1000) / 10 in the user's notation, as the window's percentage shows it.
std::string PercentOf(std::int64_t done, std::int64_t total, const std::string& separator) {
    const std::int64_t tenths = done * 1000 / total;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) text += separator + std::to_string(tenths % 10);
    return text + " %";
}

}  // namespace

CliRun::CliRun(CliHost host, ErrorLines& errors, CliScreen& screen, CliRunRequest request)
    : host_(host),
      errors_(errors),
      screen_(screen),
      request_(std::move(request)),
      session_(*this, host.clock, host.registry, host.facts) {}

CliOutcome CliRun::Refuse(CliOutcome outcome, const std::string& line) {
    // After Ctrl+C the failed read is no news.
    if (console::StopSignal() == 0) std::cerr << "kolvik-cli: " << line << '\n';
    outcome.unusableInput = true;
    return outcome;
}

bool CliRun::TakeTarget() {
    const TargetRefusal refusal = session_.TakeTarget(request_.path);
    if (refusal == TargetRefusal::None) return true;
    Message(UnusablePathText(request_.path, refusal));
    return false;
}

CliOutcome CliRun::Run(
    const std::function<std::optional<Entries>(std::string& error)>& readPassword) {
    CliOutcome outcome;
    const bool decrypt = request_.mode == RunMode::Decrypt;
    outcome.decryptRun = decrypt;
    if (!TakeTarget())
        return Refuse(outcome, "geen map en geen bestand met een extensie: " + request_.path);
    if (!session_.ModeAllowed(request_.mode)) {
        return Refuse(outcome,
                      std::string(decrypt ? "dit bestand kan alleen worden versleuteld: "
                                          : "dit bestand kan alleen worden ontsleuteld: ") +
                          request_.path);
    }
    std::string error;
    std::optional<Entries> entries = readPassword(error);
    if (!entries) return Refuse(outcome, error);
    const ModeRefusal refusal = session_.ChooseMode(request_.mode, entries->password,
                                                    entries->confirmation, request_.strong);
    if (refusal != ModeRefusal::None) {
        Message(std::string(ModeRefusalText(refusal)));
        outcome.unusableInput = true;
        return outcome;
    }

    session_.Report = {};
    if (!request_.passwordFile.empty() && request_.passwordFile != "-")
        session_.ProtectInput(request_.passwordFile);
    // Before the gate, which computes the PIN's code under a key of its own and leaves this one.
    ReplaceText(session_.CipherKey, entries->password);
    if (!decrypt && !PinGate(entries->password)) {
        outcome.report = session_.Report;
        return outcome;
    }

    const auto start = std::chrono::steady_clock::now();
    suspend::Catch();
    if (session_.HasFileTarget)
        RunOneFile();
    else
        RunFolder();
    session_.EndRun();
    suspend::Release();
    // A request that came with no file boundary left to take it at.
    if (suspend::Requested()) suspend::Now();
    screen_.EndProgressLine();
    outcome.report = session_.Report;
    outcome.filesDone = session_.FilesDone;
    if (console::StopSignal() == 0 && !session_.HasFileTarget) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        for (const auto& line : SummaryLines(session_, decrypt, session_.RunFolder(), seconds))
            std::cout << line << '\n';
    }
    return outcome;
}

bool CliRun::PinGate(const std::string& password) {
    PinCheck check = session_.CheckPin(password);
    if (check == PinCheck::FirstRun) {
        Message(std::string(kPinFirstRunText));
        check = session_.StorePin(password);
    }
    if (check != PinCheck::Refused) return true;
    Message(std::string(kPinRefusedText));
    return false;
}

void CliRun::RunOneFile() {
    const std::filesystem::path target = FsPath(session_.TargetFile);
    const std::string name = Utf8Path(target.filename());
    const std::string folder = Utf8Path(target.parent_path());
    const int messagesBefore = messagesShown_;
    lastLeftPath_.clear();
    if (request_.mode == RunMode::Encrypt) {
        const FileOutcome out = session_.EncryptOne(folder, name);
        session_.ReleaseFiles();
        if (out.result != FileResult::Done) TellFileNotDone(messagesBefore);
        return;
    }
    // Success is silent, as after encryption: a script has no viewer to open.
    const FileOutcome out = session_.DecryptOne(folder, name);
    if (out.result != FileResult::Done) TellFileNotDone(messagesBefore);
    session_.ReleaseFiles();
}

void CliRun::RunFolder() {
    const bool decrypt = request_.mode == RunMode::Decrypt;
    session_.FilesDone = session_.FilesSkipped = session_.BytesDone = 0;
    if (request_.log) Log(LogRunHeader(host_.regional.ShortDate(host_.clock.Now())));
    const auto start = host_.clock.Monotonic();
    session_.TransformTargetFiles(session_.RunFolder());
    // Every file and folder is closed when the pass ends: the space of a deleted original
    // comes back now, not when the program quits.
    session_.ReleaseFiles();
    TellUnreadableTarget();
    if (session_.ExitRequested || (decrypt && session_.StopRequested)) return;
    session_.TransformSubfolders(session_.RunFolder());
    session_.ReleaseFiles();
    TellUnreadableTarget();
    if (!decrypt && session_.ExitRequested) return;
    if (!request_.log) return;
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(host_.clock.Monotonic() - start).count();
    for (const auto& line : SummaryLines(session_, decrypt, session_.RunFolder(), seconds))
        Log(line);
}

void CliRun::TellUnreadableTarget() {
    if (!session_.HasFolderTarget || !session_.Report.targetUnreadable || toldUnreadable_) return;
    toldUnreadable_ = true;
    Message(NoAccessText(session_.TargetFolder));
}

void CliRun::TellFileNotDone(int messagesBefore) {
    if (session_.ExitRequested || messagesShown_ != messagesBefore) return;
    if (lastLeftPath_.empty()) {
        // Nothing was reported, yet nothing was done: the file was gone before the step could
        // look at it, or is one of Kolvik's own that every run passes over without a word.
        Left(session_.TargetFile,
             session_.TargetFileThere() ? LeftReason::KolvikOwnFile : LeftReason::NotFound);
        ++session_.Report.left;
    }
    Message(LeftText(lastLeftPath_, lastLeftReason_));
}

void CliRun::Message(const std::string& text) {
    ++messagesShown_;
    errors_.Message(text);
}

void CliRun::Log(const std::string& text) {
    const std::string path = LogFilePathIn(host_.facts.dataFolder);
    if (AppendLogLine(path, host_.regional.TimeOfDay(host_.clock.Now()), text)) return;
    // Told once per run: a full disk would otherwise give a line per file.
    if (session_.Report.logFailed) return;
    session_.Report.logFailed = true;
    Message(LogUnwritableText(path));
}

void CliRun::Yield() {
    if (console::StopSignal() != 0) session_.ExitRequested = true;
    if (session_.TotalBytes != 0)
        percent_ =
            PercentOf(session_.BytesDone, session_.TotalBytes, host_.regional.DecimalSeparator());
    screen_.Draw(currentFile_, percent_);
}

void CliRun::FileStarted(const std::string& path) {
    currentFile_ = path;
    Yield();
}

void CliRun::Skipped(const std::string& nameOrPath) {
    if (request_.log) Log("SKIP " + nameOrPath);
}

void CliRun::Left(const std::string& path, LeftReason reason) {
    lastLeftPath_ = path;
    lastLeftReason_ = reason;
    errors_.FileLeft(path, reason);
}

void CliRun::Transformed(const std::string&, bool) {}

void CliRun::NotOverwritten(const std::string& path, LeftReason reason) {
    errors_.FileLeft(path, reason);
}

// Not counted as a message: it says nothing of whether a file named on its own was done.
void CliRun::FileSystemNoted(FileSystemNote note, const std::string& folder,
                             const std::string& fileSystem) {
    errors_.Message(FileSystemNoteText(note, folder, fileSystem));
}

bool CliRun::GoOnWithoutAccess() {
    Message(NoAccessText(session_.TargetPath()));
    return true;
}

WrongKeyAnswer CliRun::AskWrongKey(const std::string& path) {
    Message(LeftText(path, LeftReason::WrongKey));
    return request_.stopOnWrongKey ? WrongKeyAnswer::Stop : WrongKeyAnswer::GoOn;
}

void CliRun::TellUnopenable(const std::string& path, LeftReason reason) {
    Message(LeftText(path, reason));
}

void CliRun::DiskFull(const std::string& folder) { Message(DiskFullText(folder)); }

bool CliRun::PauseRequested() { return suspend::Requested(); }

void CliRun::Pause() {
    screen_.EndProgressLine();
    suspend::Now();
}

}  // namespace kolvik::cli
