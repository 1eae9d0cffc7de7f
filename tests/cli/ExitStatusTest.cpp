// The exit status of kolvik-cli: which fact wins when several apply.
#include <gtest/gtest.h>

#include <csignal>

#include "app/CliExitStatus.h"

namespace kolvik::cli {
namespace {

TEST(ExitStatus, PrecedenceTable) {
    // CliOutcome: signal, unusableInput, decryptRun, filesDone, report. RunReport: left,
    // wrongKeys, pinRefused, passwordRefused, stoppedOnWrongKey, diskFull.
    const struct {
        const char* name;
        CliOutcome outcome;
        int expected;
    } cases[] = {
        {"everything transformed", {.filesDone = 3, .report = {}}, 0},
        {"empty tree", {.decryptRun = true, .report = {}}, 0},
        {"files left", {.filesDone = 2, .report = {.left = 1}}, 1},
        {"full disk, nothing counted as left", {.filesDone = 2, .report = {.diskFull = true}}, 1},
        {"some files opened, one not", {.decryptRun = true, .filesDone = 1, .report = {1, 1}}, 1},
        {"no file opened by the password", {.decryptRun = true, .report = {2, 2}}, 4},
        {"wrong key and other reasons, none opened", {.decryptRun = true, .report = {3, 1}}, 4},
        {"stopped on a wrong key after others were done",
         {.decryptRun = true, .filesDone = 4, .report = {.left = 1, .wrongKeys = 1, .stoppedOnWrongKey = true}}, 4},
        {"wrong-key rule is for decryption only", {.report = {1, 1}}, 1},
        {"PIN refused", {.report = {.pinRefused = true}}, 3},
        {"PIN beats wrong key",
         {.decryptRun = true, .report = {.left = 1, .wrongKeys = 1, .pinRefused = true, .stoppedOnWrongKey = true}}, 3},
        {"refused password", {.report = {.passwordRefused = true}}, 2},
        {"usage beats PIN", {.report = {.pinRefused = true, .passwordRefused = true}}, 2},
        {"unusable input", {.unusableInput = true, .report = {}}, 2},
        {"SIGINT beats files left", {.signal = SIGINT, .filesDone = 5, .report = {.left = 1}}, 130},
        {"SIGTERM beats usage", {.signal = SIGTERM, .unusableInput = true, .report = {}}, 143},
        {"SIGTERM beats a wrong key", {.signal = SIGTERM, .decryptRun = true, .report = {1, 1}}, 143},
    };
    for (const auto& c : cases) EXPECT_EQ(ExitStatus(c.outcome), c.expected) << c.name;
}

}  // namespace
}  // namespace kolvik::cli
