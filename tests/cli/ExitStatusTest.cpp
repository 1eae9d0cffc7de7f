// The exit status of kolvik-cli: which fact wins when several apply.
#include <gtest/gtest.h>

#include <csignal>

#include "app/CliExitStatus.h"

namespace kolvik::cli {
namespace {

struct Case {
    const char* name;
    CliOutcome outcome;
    int expected;
};

CliOutcome Decrypt(std::int64_t filesDone, RunReport report) {
    CliOutcome o;
    o.decryptRun = true;
    o.filesDone = filesDone;
    o.report = report;
    return o;
}

CliOutcome Encrypt(std::int64_t filesDone, RunReport report) {
    CliOutcome o = Decrypt(filesDone, report);
    o.decryptRun = false;
    return o;
}

CliOutcome With(CliOutcome o, int signal, bool unusable) {
    o.signal = signal;
    o.unusableInput = unusable;
    return o;
}

RunReport Left(std::int64_t left, std::int64_t wrongKeys = 0) {
    RunReport r;
    r.left = left;
    r.wrongKeys = wrongKeys;
    return r;
}

RunReport Flags(bool pin, bool password, bool stopped, bool diskFull, std::int64_t left = 0) {
    RunReport r;
    r.pinRefused = pin;
    r.passwordRefused = password;
    r.stoppedOnWrongKey = stopped;
    r.diskFull = diskFull;
    r.left = left;
    r.wrongKeys = stopped ? 1 : 0;
    return r;
}

TEST(ExitStatus, PrecedenceTable) {
    const Case cases[] = {
        {"everything transformed", Encrypt(3, {}), 0},
        {"empty tree", Decrypt(0, {}), 0},
        {"files left", Encrypt(2, Left(1)), 1},
        {"full disk, nothing counted as left", Encrypt(2, Flags(false, false, false, true)), 1},
        {"some files opened, one not", Decrypt(1, Left(1, 1)), 1},
        {"no file opened by the password", Decrypt(0, Left(2, 2)), 4},
        {"wrong key and files of other reasons, none opened", Decrypt(0, Left(3, 1)), 4},
        {"stopped on a wrong key after others were done",
         Decrypt(4, Flags(false, false, true, false, 1)), 4},
        {"wrong-key rule is for decryption only", Encrypt(0, Left(1, 1)), 1},
        {"PIN refused", Encrypt(0, Flags(true, false, false, false)), 3},
        {"PIN beats wrong key", Decrypt(0, Flags(true, false, true, false, 1)), 3},
        {"refused password", Encrypt(0, Flags(false, true, false, false)), 2},
        {"usage beats PIN", Encrypt(0, Flags(true, true, false, false)), 2},
        {"unusable input", With(Encrypt(0, {}), 0, true), 2},
        {"SIGINT beats files left", With(Encrypt(5, Left(1)), SIGINT, false), 130},
        {"SIGTERM beats usage", With(Encrypt(0, {}), SIGTERM, true), 143},
        {"SIGTERM beats a wrong key", With(Decrypt(0, Left(1, 1)), SIGTERM, false), 143},
    };
    for (const auto& c : cases) EXPECT_EQ(ExitStatus(c.outcome), c.expected) << c.name;
}

}  // namespace
}  // namespace kolvik::cli
