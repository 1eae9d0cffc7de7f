// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli's run on a temporary tree with fake services: what it refuses before and after the
// password is read, its lines on standard error and output, the exit status its outcome gives, and
// its log. What the run leaves in the tree is the session's (tests/session).
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "app/CliRun.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::cli {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

// The tree "boom" holds a.txt and sub/b.txt; Kolvik.log goes beside it. "@" in a path or an
// expected text stands for the tree.
struct Tree {
    test::TempDir dir;
    std::string root = dir / "boom", log = dir / "Kolvik.log";
    test::FakeClock clock;
    test::FakeRegional regional;
    test::MapRegistry registry;
    ProcessFacts facts;
    std::string err, out;  // of the last run
    Tree() {
        clock.now += std::chrono::hours(1);  // the mode time follows every file written here
        facts.programFolder = facts.dataFolder = dir.path();
        fs::create_directories(root + "/sub");
        test::WriteFile(root + "/a.txt", "alpha");
        test::WriteFile(root + "/sub/b.txt", "beta");
    }
    std::string In(std::string text) const {
        for (auto at = text.find('@'); at != std::string::npos;
             at = text.find('@', at + root.size()))
            text.replace(at, 1, root);
        return text;
    }
    // The exit status.
    int Run(CliRunRequest request, const char* password) {
        std::ostringstream errors, output;
        std::streambuf* const oldErr = std::cerr.rdbuf(errors.rdbuf());
        std::streambuf* const oldOut = std::cout.rdbuf(output.rdbuf());
        request.path = In(request.path);
        request.passwordFile = In(request.passwordFile);
        CliScreen screen(false);
        ErrorLines lines(screen);
        CliRun run({clock, regional, registry, facts}, lines, screen, request);
        const int exit = ExitStatus(run.Run([password](std::string&) {
            return std::optional<Entries>({password, password});
        }));
        std::cerr.rdbuf(oldErr);
        std::cout.rdbuf(oldOut);
        err = errors.str();
        out = output.str();
        return exit;
    }
};

CliRunRequest Enc(const char* path, const char* passwordFile = "") {
    return {RunMode::Encrypt, path, passwordFile};
}
CliRunRequest Dec(const char* path, bool stopOnWrongKey = false) {
    return {RunMode::Decrypt, path, "", false, false, stopOnWrongKey};
}

const char* const kPw = "Geheim123";
// Encrypted before the run: path, password.
using Before = std::vector<std::pair<const char*, const char*>>;
const Before kNone, kAll = {{"@", kPw}}, kA = {{"@/a.txt", kPw}},
                    kTwoKeys = {{"@/a.txt", kPw}, {"@/sub/b.txt", "Anders456"}};

TEST(CliRun, RefusalsLinesAndStatus) {
    const struct {
        Before before;
        CliRunRequest request;
        const char* password;
        int exit;
        const char* done;  // the summary's count line; "": no summary
        const char* err;
    } rows[] = {
        {kNone, Enc("@"), kPw, 0, "Versleuteld: 2 bestanden", ""},
        {kAll, Dec("@"), kPw, 0, "Ontsleuteld: 2 bestanden", ""},
        // A file named on its own: no summary.
        {kNone, Enc("@/a.txt"), kPw, 0, "", ""},
        // The run's own password file is read by it, so it is left.
        {kNone, Enc("@", "@/sub/b.txt"), kPw, 1, "Versleuteld: 1 bestanden",
         "@/sub/b.txt: het wachtwoordbestand van deze run, overgeslagen\n"},
        // Targets refused before the password is asked for.
        {kNone, Enc("/dev/null"), kPw, 2, "",
         "Kolvik kan dit pad niet gebruiken: /dev/null\nhet is geen gewoon bestand of map.\n"
         "kolvik-cli: geen map en geen bestand met een extensie: /dev/null\n"},
        {kA, Enc("@/a_txt.kol"), kPw, 2, "",
         "kolvik-cli: dit bestand kan alleen worden ontsleuteld: @/a_txt.kol\n"},
        {kNone, Dec("@/a.txt"), kPw, 2, "",
         "kolvik-cli: dit bestand kan alleen worden versleuteld: @/a.txt\n"},
        // A password the classic format cannot hold (outside Windows-1252).
        {kNone, Enc("@"), "w\u00E1chtw\u20AC\u2603", 2, "",
         "Het wachtwoord bevat tekens die Kolvik niet kan gebruiken (alleen tekens uit "
         "Windows-1252).\n"},
        // The wrong-key question and the file's report read alike: one line per file.
        {kAll, Dec("@"), "fout", 4, "Ontsleuteld: 0 bestanden",
         "@/a_txt.kol: Onjuiste sleutel\n@/sub/b_txt.kol: Onjuiste sleutel\n"},
        {kTwoKeys, Dec("@"), kPw, 1, "Ontsleuteld: 1 bestanden",
         "@/sub/b_txt.kol: Onjuiste sleutel\n"},
        // Stopped on the wrong key after a file was done: the wrong key decides the status.
        {kTwoKeys, Dec("@", true), kPw, 4, "Ontsleuteld: 1 bestanden",
         "@/sub/b_txt.kol: Onjuiste sleutel\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Tree t;
        for (const auto& [path, password] : row.before) ASSERT_EQ(t.Run(Enc(path), password), 0);
        EXPECT_EQ(t.Run(row.request, row.password), row.exit);
        EXPECT_EQ(t.err, t.In(row.err));
        if (*row.done)
            EXPECT_NE(t.out.find(std::string("\n") + row.done + "\n"), std::string::npos);
        else
            EXPECT_EQ(t.out, "");
        EXPECT_FALSE(fs::exists(t.log));
    }
}

// With --log the summary goes into Kolvik.log as well, each line quoted with the time of day;
// a log that cannot be written is said once and fails the run.
TEST(CliRun, LogsTheSummaryOrSaysOnceThatItCannot) {
    for (const bool link : {false, true}) {
        Tree t;
        const std::string elsewhere = t.dir / "elders";
        if (link) {
            test::WriteFile(elsewhere, "van een ander");
            fs::create_symlink(elsewhere, t.log);
        }
        CliRunRequest request = Enc("@");
        request.log = true;
        const int exit = t.Run(request, kPw);
        std::string logged =
            "\"12:34:56 " + std::string(25, '-') + "06-12-2026" + std::string(25, '-') + "\"\r\n";
        std::istringstream out(t.out);
        for (std::string line; std::getline(out, line);) logged += "\"12:34:56 " + line + "\"\r\n";
        EXPECT_EQ(ReadFile(link ? elsewhere : t.log), link ? "van een ander" : logged);
        EXPECT_EQ(t.err, link ? "Het logboek kan niet worden geschreven: " + t.log + "\n" : "");
        EXPECT_EQ(exit, link ? 1 : 0);
    }
}

}  // namespace
}  // namespace kolvik::cli
