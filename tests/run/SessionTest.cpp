// SPDX-License-Identifier: GPL-3.0-or-later
// The run session's answer to a mode whose first entry is empty and whose second is not; the
// mode buttons' tests cover its other answers through the same session.
#include <gtest/gtest.h>

#include "session/RunSession.h"
#include "support/Fakes.h"

namespace kolvik {
namespace {

// An empty first entry with something in the second is a mismatch, not an empty password.
TEST(Session, UnequalEntriesAreToldBeforeAnEmptyPassword) {
    test::TestWindow w;
    EXPECT_EQ(w->session.ChooseMode(RunMode::Encrypt, "", "x", false), ModeRefusal::Unequal);
    EXPECT_TRUE(w->session.Report.passwordRefused);
}

}  // namespace
}  // namespace kolvik
