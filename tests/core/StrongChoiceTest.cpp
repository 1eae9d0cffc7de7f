// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "support/Fakes.h"

namespace kolvik {
namespace {

using test::TestWindow;

const char* const kEmpty = "Geef een wachtwoord op.";
const char* const kNotCp1252 =
    "Het wachtwoord bevat tekens die Kolvik niet kan gebruiken (alleen tekens uit Windows-1252).";
const char* const kChinese = "\xE4\xB8\xAD";  // U+4E2D, outside Windows-1252

// The Encrypt mode button takes the format from the box, with that format's password rule; a
// change of the box while the mode is chosen is judged as a new press.
TEST(SterkBox, PasswordRuleFollowsTheFormat) {
    const struct {
        int boxAtPress;
        const char* password;
        int boxAfter;              // clicked to this after the press, or -1 for no click
        const char* refusal;       // the one message shown, or nullptr
        bool armed, strongChosen;  // the start button enabled; the format the run would use
    } cases[] = {
        {1, kChinese, -1, nullptr, true, true},
        {0, kChinese, -1, kNotCp1252, false, false},
        {1, "", -1, kEmpty, false, false},
        {0, "Geheim", 1, nullptr, true, true},
        {1, "Geheim", 0, nullptr, true, false},
        // Accepted for the strong format, then the box is cleared: the key cannot hold it.
        {1, kChinese, 0, kNotCp1252, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.password) + " box " + std::to_string(c.boxAtPress) + " then " +
                     std::to_string(c.boxAfter));
        TestWindow w;
        w->cmdGoEncrypt.enabled = w->cmdGoDecrypt.enabled = false;
        w->txtPassword_1.text = w->txtPassword_2.text = c.password;
        w->chkSterk.value = c.boxAtPress;
        w->OnClick(w->cmdEncrypt);
        if (c.boxAfter >= 0) {
            w->chkSterk.value = c.boxAfter;
            w->OnClick(w->chkSterk);
        }
        ASSERT_EQ(w.dialogs.shown.size(), c.refusal ? 1u : 0u);
        if (c.refusal) {
            EXPECT_EQ(w.dialogs.shown[0].text, c.refusal);
        }
        EXPECT_EQ(w->cmdGoEncrypt.enabled, c.armed);
        EXPECT_EQ(w->cmdEncrypt.enabled, !c.armed);  // a refused press leaves the modes open
        if (c.armed) {
            EXPECT_EQ(w->session.StrongChosen, c.strongChosen);
        }
    }
}

TEST(SterkBox, RememberedPerUser) {
    TestWindow first;
    EXPECT_EQ(first->chkSterk.value, 0);  // nothing stored: the described format
    EXPECT_FALSE(first->chkSterk.tooltip.empty());
    first->chkSterk.value = 1;
    first->OnClick(first->chkSterk);
    // Windows opened later on the same store start with the last choice.
    TestWindow second("/nonexistent/kolvik", "", &first.registry);
    EXPECT_EQ(second->chkSterk.value, 1);
    second->chkSterk.value = 0;
    second->OnClick(second->chkSterk);
    EXPECT_EQ(TestWindow("/nonexistent/kolvik", "", &first.registry)->chkSterk.value, 0);
}

}  // namespace
}  // namespace kolvik
