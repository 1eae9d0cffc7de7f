// SPDX-License-Identifier: GPL-3.0-or-later
// A run from start to end, the same under every front end: the guards, the file named on its
// own or the two passes of a folder, and what is said afterwards.
#include <filesystem>

#include "engine/PathHelpers.h"
#include "session/ActivityLog.h"
#include "session/RunSession.h"
#include "session/SecretText.h"
#include "session/Texts.h"

namespace kolvik {

void RunRelay::FileSystemNoted(FileSystemNote note, const std::string& folder,
                               const std::string& fileSystem) {
    notes.push_back(FileSystemNoteText(note, folder, fileSystem));
}

RunEnd RunSession::Run(const RunRequest& request, const std::string& password, RunFront& front) {
    report_ = {};
    relay_.notes.clear();
    accessAsked_ = false;
    if (!hasFileTarget_ && WouldTouchInstalledPrograms()) {
        front.Tell(InstalledProgramsText(process_.programFolder), Tone::Warning);
        return RunEnd::InstalledPrograms;
    }
    // Before the gate, which computes the PIN's code under a key of its own.
    ReplaceText(cipherKey_, password);
    if (request.mode == RunMode::Encrypt && !PinGate(password, front)) return RunEnd::PinRefused;
    return hasFileTarget_ ? RunFile(request, front) : RunFolder(request, front);
}

bool RunSession::PinGate(const std::string& password, RunFront& front) {
    PinCheck check = CheckPin(password);
    if (check == PinCheck::FirstRun) {
        front.Tell(std::string(kPinFirstRunText), Tone::Plain);
        check = StorePin(password);
    }
    if (check != PinCheck::Refused) return true;
    front.Tell(std::string(kPinRefusedText), Tone::Warning);
    return false;
}

RunEnd RunSession::RunFile(const RunRequest& request, RunFront& front) {
    const std::filesystem::path target = FsPath(targetFile_);
    const std::string folder =
        request.folder.empty() ? Utf8Path(target.parent_path()) : request.folder;
    const std::string name = request.name.empty() ? Utf8Path(target.filename()) : request.name;
    stats_.FilesDone = 0;
    front.FilesNext();
    relay_.BeginStep();
    const FileOutcome out =
        request.mode == RunMode::Decrypt ? DecryptOne(folder, name) : EncryptOne(folder, name);
    EndRun();
    const bool done = out.result == FileResult::Done;
    if (!done) TellFileNotDone(front);
    TellNotes(false, front);  // a single file is never logged
    return done ? RunEnd::FileDone : RunEnd::FileNotDone;
}

void RunSession::TellFileNotDone(RunFront& front) {
    if (flags_.ExitRequested || relay_.told) return;
    if (relay_.leftPath.empty()) {
        // Nothing was reported, yet nothing was done: the file was gone before the step could
        // look at it, or is one of Kolvik's own that every run passes over.
        relay_.Left(targetFile_,
                    TargetFileThere() ? LeftReason::KolvikOwnFile : LeftReason::NotFound);
        ++report_.left;
    }
    front.Tell(LeftText(relay_.leftPath, relay_.leftReason), Tone::Warning);
}

RunEnd RunSession::RunFolder(const RunRequest& request, RunFront& front) {
    const bool decrypt = request.mode == RunMode::Decrypt;
    const std::string target = RunFolder();
    stats_.FilesDone = stats_.FilesSkipped = stats_.BytesDone = 0;
    summary_.clear();
    front.FilesNext();
    if (request.log) front.LogLine(LogRunHeader(request.logDate));
    const auto start = clock_.Monotonic();
    const auto finish = [&](RunEnd end) {
        EndRun();
        seconds_ =
            std::chrono::duration_cast<std::chrono::seconds>(clock_.Monotonic() - start).count();
        summary_ = SummaryLines(stats_, decrypt, target, seconds_);
        TellNotes(request.log, front);
        if (end == RunEnd::Finished && request.log)
            for (const auto& line : summary_) front.LogLine(line);
        return end;
    };
    // Every file and folder is closed when a pass ends: the space of a deleted original comes
    // back now, not when the program quits.
    TransformTargetFiles(target);
    ReleaseFiles();
    if (!TargetAccessAllowsGoingOn(front) || flags_.ExitRequested ||
        (decrypt && flags_.StopRequested)) {
        walk_.LeaveUnwalked();
        return finish(RunEnd::Stopped);
    }
    TransformSubfolders(target);
    ReleaseFiles();
    if (!TargetAccessAllowsGoingOn(front) || (!decrypt && flags_.ExitRequested))
        return finish(RunEnd::Stopped);
    return finish(RunEnd::Finished);
}

// Asked once, and only when the target folder itself could not be opened or listed: a folder
// of nothing but folders is no reason to ask.
bool RunSession::TargetAccessAllowsGoingOn(RunFront& front) {
    if (!hasFolderTarget_ || !report_.targetUnreadable || accessAsked_) return true;
    accessAsked_ = true;
    return front.GoOnWithoutTargetAccess(NoAccessText(targetFolder_));
}

void RunSession::TellNotes(bool log, RunFront& front) {
    for (const std::string& note : std::exchange(relay_.notes, {})) {
        if (log) front.LogLine(note);
        front.Tell(note, Tone::Notice);
    }
}

}  // namespace kolvik
