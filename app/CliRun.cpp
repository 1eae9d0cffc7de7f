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

    if (!request_.passwordFile.empty() && request_.passwordFile != "-")
        session_.ProtectInput(request_.passwordFile);
    RunRequest run;
    run.mode = request_.mode;
    run.log = request_.log;
    run.logDate = host_.regional.ShortDate(host_.clock.Now());
    suspend::Catch();
    const RunEnd end = session_.Run(run, entries->password, *this);
    suspend::Release();
    // A request that came with no file boundary left to take it at.
    if (suspend::Requested()) suspend::Now();
    screen_.EndProgressLine();
    outcome.report = session_.Report();
    outcome.filesDone = session_.Stats().FilesDone;
    const bool folderRun = end == RunEnd::Finished || end == RunEnd::Stopped;
    if (console::StopSignal() == 0 && folderRun)
        for (const auto& line : session_.Summary()) std::cout << line << '\n';
    return outcome;
}

void CliRun::Message(const std::string& text) { errors_.Message(text); }

void CliRun::Log(const std::string& text) {
    const std::string path = LogFilePathIn(host_.facts.dataFolder);
    if (AppendLogLine(path, host_.regional.TimeOfDay(host_.clock.Now()), text)) return;
    // Told once per run: a full disk would otherwise give a line per file.
    if (session_.NoteLogFailed()) Message(LogUnwritableText(path));
}

void CliRun::Yield() {
    if (console::StopSignal() != 0) session_.RequestExit();
    const RunStats& stats = session_.Stats();
    if (stats.TotalBytes != 0)
        percent_ = PercentOf(stats.BytesDone, stats.TotalBytes, host_.regional.DecimalSeparator());
    screen_.Draw(currentFile_, percent_);
}

void CliRun::FileStarted(const std::string& path) {
    currentFile_ = path;
    Yield();
}

void CliRun::Skipped(const std::string& nameOrPath) {
    if (request_.log) Log("SKIP " + nameOrPath);
}

void CliRun::Left(const std::string& path, LeftReason reason) { errors_.FileLeft(path, reason); }

void CliRun::Transformed(const std::string&, bool) {}

void CliRun::NotOverwritten(const std::string& path, LeftReason reason) {
    errors_.FileLeft(path, reason);
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

void CliRun::Tell(const std::string& text, Tone) { Message(text); }

bool CliRun::GoOnWithoutTargetAccess(const std::string& text) {
    Message(text);
    return true;
}

void CliRun::LogLine(const std::string& text) { Log(text); }

void CliRun::Pause() {
    screen_.EndProgressLine();
    suspend::Now();
}

}  // namespace kolvik::cli
