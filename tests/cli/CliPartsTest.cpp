// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of kolvik-cli: which fact wins the exit status when several apply (a run's single
// outcomes are rows of CliRunTest.cpp), and what the first line of a password file gives as the
// password or refuses.
#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <string>

#include "app/CliExitStatus.h"
#include "app/PasswordLine.h"

namespace kolvik::cli {
namespace {

using namespace std::string_literals;

TEST(ExitStatus, PrecedenceTable) {
    // CliOutcome: signal, unusableInput, decryptRun, filesDone, report. RunReport: left,
    // wrongKeys, pinRefused, passwordRefused, stoppedOnWrongKey, diskFull.
    const struct {
        const char* name;
        CliOutcome outcome;
        int expected;
    } cases[] = {
        {"empty tree", {.decryptRun = true, .report = {}}, 0},
        {"full disk, nothing counted as left", {.filesDone = 2, .report = {.diskFull = true}}, 1},
        {"wrong key and other reasons, none opened", {.decryptRun = true, .report = {3, 1}}, 4},
        {"wrong-key rule is for decryption only", {.report = {1, 1}}, 1},
        {"target entered but not listed", {.report = {.targetUnreadable = true}}, 1},
        {"an original not overwritten, every file done",
         {.filesDone = 3, .report = {.notOverwritten = 1}},
         1},
        {"old blocks kept is a notice, no failure",
         {.filesDone = 3, .report = {.oldBlocksTold = true}},
         0},
        {"no file opened beats an unlisted subtree",
         {.decryptRun = true, .report = {.left = 1, .wrongKeys = 1, .targetUnreadable = true}},
         4},
        {"PIN beats wrong key",
         {.decryptRun = true,
          .report = {.left = 1, .wrongKeys = 1, .pinRefused = true, .stoppedOnWrongKey = true}},
         3},
        {"usage beats PIN", {.report = {.pinRefused = true, .passwordRefused = true}}, 2},
        {"SIGINT beats files left", {.signal = SIGINT, .filesDone = 5, .report = {.left = 1}}, 130},
        {"SIGTERM beats usage", {.signal = SIGTERM, .unusableInput = true, .report = {}}, 143},
    };
    for (const auto& c : cases) EXPECT_EQ(ExitStatus(c.outcome), c.expected) << c.name;
}

const std::string a4096(4096, 'a'), a4094(4094, 'a');

// The first line is the password, or the reason it is refused.
TEST(PasswordLine, TakesTheFirstLineOrRefusesWithTheReason) {
    const struct {
        std::string bytes;
        bool ended;  // the file ends after bytes
        std::optional<std::string> password;
        const char* errorPart = "";
    } cases[] = {
        {"Geheim123\nrest\0"s, false, "Geheim123"},
        {"Geheim123", true, "Geheim123"},  // no line end at the end of the file
        {"\n", false, ""},                 // a password for the window to judge
        {a4096 + "\r\n", false, a4096},    // the whole read, CR before LF dropped
        {"\xEF\xBB\xBF" + a4096 + "\r\n", false, a4096},
        {"\xEF\xBB\xBF\xEF\xBB\xBF\x61\n", false, "\xEF\xBB\xBF\x61"},  // a second mark is text
        {a4094 + "\xC3\xA9\n", false, a4094 + "\xC3\xA9"},
        {"\xC2\xA0\n", false, "\xC2\xA0"},  // first character after the C1 block
        {"\xF0\x9F\x94\x91\n", false, "\xF0\x9F\x94\x91"},
        {"\xF4\x8F\xBF\xBF\n", false, "\xF4\x8F\xBF\xBF"},  // highest code point
        {"", true, {}, "leeg"},
        {"\xEF\xBB\xBF", true, {}, "leeg"},  // the mark of an empty file
        {a4096 + "a\n", false, {}, "langer dan 4096 bytes"},
        {a4096 + "aa", false, {}, "langer dan 4096 bytes"},  // the limit reached without a line end
        {a4096 + "a\r", false, {}, "langer dan 4096 bytes"},  // the last byte read is CR
        {a4094 + "a\xC3\xA9\n", false, {}, "langer dan 4096 bytes"},
        {"ab\0cd\n"s, false, {}, "stuurteken"},
        {"a\rb\n", false, {}, "stuurteken"},
        {"ab\r", true, {}, "stuurteken"},  // CR at the end of the file
        {"ab\x7F\n", false, {}, "stuurteken"},
        {"a\xC2\x85\x62\n", false, {}, "stuurteken"},  // C1 control NEL
        {"\xF4\x90\x80\x80\n", false, {}, "UTF-8"},    // above the highest code point
        {"\xC0\xAF\n", false, {}, "UTF-8"},            // overlong slash
        {"\xED\xA0\x80\n", false, {}, "UTF-8"},        // surrogate
        {"caf\xE9\n", false, {}, "UTF-8"},             // Latin-1
        {"ab\xE2\x82\n", false, {}, "UTF-8"},          // cut off by the line end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const PasswordLine got = JudgeFirstLine(c.bytes, c.ended, "pw");
        EXPECT_EQ(got.password, c.password) << got.error;
        EXPECT_NE(got.error.find(c.errorPart), std::string::npos) << got.error;
    }
}

}  // namespace
}  // namespace kolvik::cli
