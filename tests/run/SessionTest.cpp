// SPDX-License-Identifier: GPL-3.0-or-later
// The run session's answer to a mode with its two entries, asked of a window's session that was
// never loaded.
#include <gtest/gtest.h>

#include "session/RunSession.h"
#include "support/Fakes.h"

namespace kolvik {
using namespace kolvik::test;
namespace {

TEST(Session, ChoosingTheModeJudgesBothEntries) {
    // "\xC4\xB3" is U+0133, outside Windows-1252; "\xE2\x82\xAC" is the euro sign, inside it.
    struct Case {
        RunMode mode;
        const char *password, *confirmation;
        bool strong;
        ModeRefusal expected;
    } const cases[] = {
        {RunMode::Encrypt, "abc", "abd", false, ModeRefusal::Unequal},
        {RunMode::Encrypt, "", "x", false, ModeRefusal::Unequal},  // unequal before empty
        {RunMode::Encrypt, "", "", false, ModeRefusal::Empty},
        {RunMode::Encrypt, "", "", true, ModeRefusal::Empty},
        {RunMode::Encrypt, "\xC4\xB3", "\xC4\xB3", false, ModeRefusal::NotStorable},
        {RunMode::Encrypt, "\xC4\xB3", "\xC4\xB3", true, ModeRefusal::None},
        {RunMode::Encrypt, "\xE2\x82\xAC", "\xE2\x82\xAC", false, ModeRefusal::None},
        {RunMode::Decrypt, "abc", "abd", false, ModeRefusal::Unequal},
        {RunMode::Decrypt, "", "", false, ModeRefusal::None},
        {RunMode::Decrypt, "\xC4\xB3", "\xC4\xB3", false, ModeRefusal::None},
    };
    for (const auto& c : cases) {
        TestWindow w;
        RunSession& s = w->session;
        w.clock.now = WallClock::time_point(std::chrono::hours(1000));
        const ModeRefusal got = s.ChooseMode(c.mode, c.password, c.confirmation, c.strong);
        SCOPED_TRACE(std::string(c.password) + "/" + c.confirmation);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(s.Report.passwordRefused, c.expected != ModeRefusal::None);
        // Refused or not, files changed from this moment on are left alone.
        EXPECT_EQ(s.ModeTime, w.clock.now);
        if (c.expected == ModeRefusal::None) {
            EXPECT_EQ(s.DecryptMode, c.mode == RunMode::Decrypt);
            EXPECT_EQ(s.StrongChosen, c.strong);
        }
    }
}

}  // namespace
}  // namespace kolvik
