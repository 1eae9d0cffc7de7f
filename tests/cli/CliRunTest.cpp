// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik-cli's run on a temporary tree with fake services: what it refuses before and after the
// password is read, its lines on standard error and output, the exit status its outcome gives, what
// the tree holds afterwards, and its log.
#include <gtest/gtest.h>

#include <algorithm>
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
    // Every entry below the tree; a plain file with its content.
    std::vector<std::string> Listing() const {
        std::vector<std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string name = fs::relative(e.path(), root).string();
            const bool plain = e.is_regular_file() && !name.ends_with(".kol");
            entries.push_back(plain ? name + "=" + ReadFile(e.path().string()) : name);
        }
        std::ranges::sort(entries);
        return entries;
    }
};

CliRunRequest Enc(const char* path, const char* passwordFile = "") {
    return {RunMode::Encrypt, path, passwordFile};
}
CliRunRequest Dec(const char* path, bool stopOnWrongKey = false) {
    return {RunMode::Decrypt, path, "", false, false, stopOnWrongKey};
}

const char* const kPw = "Geheim123";
using Files = std::vector<std::string>;
const Files kPlain = {"a.txt=alpha", "sub", "sub/b.txt=beta"},
            kEncrypted = {"a_txt.kol", "sub", "sub/b_txt.kol"},
            kOnlyA = {"a_txt.kol", "sub", "sub/b.txt=beta"},
            kAllButB = {"a.txt=alpha", "sub", "sub/b_txt.kol"};
// Encrypted before the run: path, password.
using Before = std::vector<std::pair<const char*, const char*>>;
const Before kAll = {{"@", kPw}}, kA = {{"@/a.txt", kPw}},
             kTwoKeys = {{"@/a.txt", kPw}, {"@/sub/b.txt", "Anders456"}};

TEST(CliRun, RefusalsLinesStatusAndTree) {
    struct Given {
        Before before;
        CliRunRequest request;
        const char* password;
    };
    struct Expected {
        int exit;
        Files files;
        const char* done = "";  // the summary's count line; "": no summary
    };
    const struct {
        Given given;
        Expected expected;
        const char* err;
    } rows[] = {
        {{{}, Enc("@"), kPw}, {0, kEncrypted, "Versleuteld: 2 bestanden"}, ""},
        {{kAll, Dec("@"), kPw}, {0, kPlain, "Ontsleuteld: 2 bestanden"}, ""},
        // A file named on its own: no summary.
        {{{}, Enc("@/a.txt"), kPw}, {0, kOnlyA}, ""},
        {{kAll, Dec("@/a_txt.kol"), kPw}, {0, kAllButB}, ""},
        // The run's own password file is read by it, so it is left.
        {{{}, Enc("@", "@/sub/b.txt"), kPw},
         {1, kOnlyA, "Versleuteld: 1 bestanden"},
         "@/sub/b.txt: het wachtwoordbestand van deze run, overgeslagen\n"},
        // Targets refused before the password is asked for.
        {{{}, Enc("/dev/null"), kPw},
         {2, kPlain},
         "Kolvik kan dit pad niet gebruiken: /dev/null\nhet is geen gewoon bestand of map.\n"
         "kolvik-cli: geen map en geen bestand met een extensie: /dev/null\n"},
        {{kA, Enc("@/a_txt.kol"), kPw},
         {2, kOnlyA},
         "kolvik-cli: dit bestand kan alleen worden ontsleuteld: @/a_txt.kol\n"},
        {{{}, Dec("@/a.txt"), kPw},
         {2, kPlain},
         "kolvik-cli: dit bestand kan alleen worden versleuteld: @/a.txt\n"},
        // A password the classic format cannot hold (outside Windows-1252).
        {{{}, Enc("@"), "w\u00E1chtw\u20AC\u2603"},
         {2, kPlain},
         "Het wachtwoord bevat tekens die Kolvik niet kan gebruiken (alleen tekens uit "
         "Windows-1252).\n"},
        // The wrong-key question and the file's report read alike: one line per file.
        {{kAll, Dec("@"), "fout"},
         {4, kEncrypted, "Ontsleuteld: 0 bestanden"},
         "@/a_txt.kol: Onjuiste sleutel\n@/sub/b_txt.kol: Onjuiste sleutel\n"},
        {{kTwoKeys, Dec("@"), kPw},
         {1, kAllButB, "Ontsleuteld: 1 bestanden"},
         "@/sub/b_txt.kol: Onjuiste sleutel\n"},
        // Stopped on the wrong key after a file was done: the wrong key decides the status.
        {{kTwoKeys, Dec("@", true), kPw},
         {4, kAllButB, "Ontsleuteld: 1 bestanden"},
         "@/sub/b_txt.kol: Onjuiste sleutel\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Tree t;
        for (const auto& [path, password] : row.given.before)
            ASSERT_EQ(t.Run(Enc(path), password), 0);
        const Expected& want = row.expected;
        EXPECT_EQ(t.Run(row.given.request, row.given.password), want.exit);
        EXPECT_EQ(t.err, t.In(row.err));
        EXPECT_EQ(t.Listing(), want.files);
        if (*want.done)
            EXPECT_NE(t.out.find(std::string("\n") + want.done + "\n"), std::string::npos);
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
        EXPECT_EQ(t.Listing(), kEncrypted);
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
