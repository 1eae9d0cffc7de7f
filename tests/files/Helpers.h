#pragma once
// Trees on disk, their snapshots, and a window ready to run over them.
#include <chrono>
#include <map>
#include <random>
#include <string>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {

inline std::string Bytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Every entry below root, by relative path: a file's content, a link's target, or its kind.
std::map<std::string, std::string> Snapshot(const std::string& root);

// A window in a program folder of its own, with the key typed and a mode time after every
// file the test writes.
struct ProgramFolder {
    TempDir programFolder;  // holds Kolvik.log, away from the trees under test
};
struct Window : ProgramFolder, TestWindow {
    explicit Window(const std::string& key = "geheim");
    // A folder run: the target's own files, then every folder below it.
    void Run(const std::string& target, bool decrypting);
    void Encrypt(const std::string& target) { Run(target, false); }
    void Decrypt(const std::string& target) { Run(target, true); }
    // One file as the target, as when it is named on the command line.
    void RunFile(const std::string& folder, std::string name, bool decrypting);
    std::string Log() const { return ReadFile(programFolder / "Kolvik.log"); }
};

void SetMtime(const std::string& path, std::chrono::system_clock::time_point t);

}  // namespace kolvik::test
