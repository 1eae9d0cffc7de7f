// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineKit.h"

#include <utility>

namespace kolvik::test {

Engine::Engine(std::string key)
    : modeTime(WallClock::now() + std::chrono::hours(1)), key_(std::move(key)) {}

Engine::~Engine() { files.EndRun(); }

void Engine::Prepare(bool singleFile) {
    TransformSettings& s = files.settings;
    s.key = key_;
    s.modeTime = modeTime;
    s.singleFile = singleFile;
    s.exeName = "kolvik";
    s.programFolder = s.logFolder = programFolder.path();
    s.strong = strong;
    // The least cost a reader accepts: a strong run then takes a tenth of a second, not one.
    s.strongCost = {.memoryKiB = 65'536, .passes = 1, .lanes = 1};
}

void Engine::Run(const std::string& target, bool decrypting) {
    Prepare(false);
    walk.decrypting = decrypting;
    walk.ProcessTarget(target);
    walk.WalkFolder(target);
    files.EndRun();  // as every run ends: its folders, and their claims, let go
}

void Engine::EncryptStrong(const std::string& target) {
    strong = true;
    Run(target, false);
}

bool Engine::RunFile(const std::string& folder, const std::string& name, bool decrypting) {
    Prepare(true);
    const FileOutcome out = decrypting ? files.Decrypt(folder, name) : files.Encrypt(folder, name);
    files.EndRun();
    return out.result == FileResult::Done;
}

}  // namespace kolvik::test
