// SPDX-License-Identifier: GPL-3.0-or-later
// The PIN code: its transport code worked out by hand, and the gate, which goes by the store as
// it is when used: in the window whose first run stored the PIN, and in a window that has been
// open a while, when another Kolvik may have registered, stored a PIN or unregistered since.
// That Ctrl+R and the help window ask the store afresh is shown in MainWindowTest.cpp and
// DialogsTest.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "ShellSession.h"
#include "Version.h"
#include "files/Reference.h"

namespace kolvik::test {
namespace {

const std::string kNotice =
    "Onthoud de eerste drie tekens van het zojuist door u ingevoerde wachtwoord.\r\n"
    "Dit is voortaan uw PIN-code. ( Verwijderen PIN-code = CTRL + u , F1 = Help)";

// Cyrillic, outside Windows-1252: "Zhuk", and the small letters "zhe" and "che".
const std::string kZhuk = "\xD0\x96\xD1\x83\xD0\xBA", kZhe = "\xD0\xB6", kChe = "\xD1\x87";

// Under "Velmora" the table codes are A = 0, 86, 101, 108, 109, 111, 114, 97, and
// t(i) = A((i+1) mod 8) * (i mod 8) - A((i+5) mod 8)^(i mod 3) + A((i+5) mod 8) + i:
//   t(1) = 101*1 - 114 + 114 + 1      = 102        -> 0x66
//   t(2) = 108*2 - 97^2 + 97 + 2      = -9094      -> 9094 mod 256 = 134 = 0x86
//   t(3) = 109*3 - 0^0 + 0 + 3        = 329        -> 73 = 0x49
//   t(4) = 111*4 - 86 + 86 + 4        = 448        -> 192 = 0xC0
//   t(5) = 114*5 - 101^2 + 101 + 5    = -9525      -> 9525 mod 256 = 53 = 0x35
//   t(6) = 97*6 - 108^0 + 108 + 6     = 695        -> 183 = 0xB7
// Every character outside Windows-1252 once became "?": any three such letters, and "???",
// then passed as one PIN. With a row's code stored, its tries must get what they are given.
TEST(TransportCode, MatchesHandWorkedCodesAndNoTwoPinsPassAsOne) {
    using Tries = std::vector<std::pair<std::string, PinCheck>>;
    const auto ok = PinCheck::Matches, no = PinCheck::Refused;
    const struct {
        std::string password;
        const char* code;
        const char* refused;  // a stored code that must not match: the same in lower case
        std::size_t yields;   // the events get their turn once per PIN character
        Tries tries = {};
    } cases[] = {
        {"abcdef", "07E42A", "07e42a", 3},      // 61^66, 62^86, 63^49; only three characters count
        {"Q1", "37B7", "37b7", 2},              // two characters give four digits
        {"", "", "00", 0},                      // none give none
        {"C\xC3\xA9z", "256F33", "256f33", 3},  // é is E9 in Windows-1252: 43^66, E9^86, 7A^49
        // Outside Windows-1252: "U", then the code of the UTF-8 bytes D0 96 D1 83 D0 BA:
        // D0^66, 96^86, D1^49, 83^C0, D0^35, BA^B7. Its first two characters are not it.
        {kZhuk + "12345", "UB6109843E50D", "ub6109843e50d", 3,
         Tries{{kZhuk + "99", ok},
               {kZhuk.substr(0, 4) + kChe + "12345", no},
               {"???12345", no},
               {kZhuk.substr(0, 4), no}}},
        {"A" + kZhe + "1", "U2756FFF1", "u2756fff1", 3,  // 41 D0 B6 31
         Tries{{"A?1", no}, {"A" + kZhe + "1xyz", ok}}},
        {"???xyz", "59B976", "59b976", 3, Tries{{kZhuk + "xyz", no}}},  // 3F^66, 3F^86, 3F^49
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        TestWindow w;
        EXPECT_EQ(w->session.PinCode(c.password), c.code);
        EXPECT_EQ(w.screen.yields, c.yields);
        w.registry.values[kContextMenuValue] = "ja";
        w.registry.values[kChecksumValue] = c.refused;
        EXPECT_EQ(w->session.CheckPin(c.password), PinCheck::Refused);
        if (c.tries.empty()) continue;
        w.registry.values[kChecksumValue] = c.code;  // as a run stores it: OpenWindow's test below
        for (const auto& [tried, check] : c.tries)
            EXPECT_EQ(w->session.CheckPin(tried), check) << tried;
    }
}

// What the other Kolvik does, or this window's own first run. "07E42A" is the code of "abc"
// and of "abcdef": only three characters count.
void StorePin(const Install& in, ShellSession&) {
    FileRegistry(in.store()).RegWrite(kChecksumValue, "07E42A");
}
void RegisterWithPin(const Install& in, ShellSession& window) {
    ShellSession other(in.home, in.program);
    Register(other, "ja", "ja");
    StorePin(in, window);
}
// The context menu switched off by hand: the stored code stays but is not asked for.
void StorePinContextMenuOff(const Install& in, ShellSession& window) {
    StorePin(in, window);
    FileRegistry(in.store()).RegWrite(kContextMenuValue, "nee");
}
void Unregister(const Install& in, ShellSession&) {
    ShellSession other(in.home, in.program);
    other->FindSystemFolders();
    other->REG_Delete();
}
// Stores the PIN and tells so; the runs after it in the same window demand it.
void FirstRun(const Install&, ShellSession& window) {
    window.Press("abcdef");
    EXPECT_EQ(window.dialogs.Texts(), std::vector<std::string>{kNotice});
    window.dialogs.shown.clear();
}

TEST(OpenWindow, ItsGuardsGoByTheStoreWhenUsedNotWhenItOpened) {
    const struct {
        const char* what;
        void (*meanwhile)(const Install&, ShellSession& window);
        const char* password;
        std::optional<std::string> stored;  // the PIN code in the store afterwards
        bool registeredAtOpen;
        bool duringNotice;  // the other Kolvik acts while the run shows the PIN notice
        bool encrypted;     // else the run says "Foute PIN-code"
    } cases[] = {
        {"registered with a PIN, another PIN", RegisterWithPin, "xyz123", "07E42A", false, false,
         false},
        {"registered with a PIN, that PIN", RegisterWithPin, "abc999", "07E42A", false, false,
         true},
        {"PIN stored", StorePin, "xyz123", "07E42A", true, false, false},
        {"PIN stored while the notice is up", StorePin, "xyz123", "07E42A", true, true, false},
        {"unregistered", Unregister, "xyz123", std::nullopt, true, false, true},
        {"context menu off", StorePinContextMenuOff, "xyz123", "07E42A", true, false, true},
        {"this window's first run stored a PIN, another PIN", FirstRun, "xyz123", "07E42A", true,
         false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install in;
        if (c.registeredAtOpen) Register(*Open(in), "ja", "ja");
        auto run = Open(in);
        if (c.duringNotice) {
            run->dialogs.onMsgBox = [&](const std::string& text) {
                if (text == kNotice) c.meanwhile(in, *run);
            };
        } else {
            c.meanwhile(in, *run);
        }

        const std::string plain = in.program + "/a.txt";
        WriteFile(plain, "data");
        run->Press(c.password);
        std::vector<std::string> told(c.duringNotice ? 1 : 0, kNotice);
        if (!c.encrypted) told.push_back("Foute PIN-code");
        EXPECT_EQ(run->dialogs.Texts(), told);
        EXPECT_EQ(std::filesystem::exists(plain), !c.encrypted);
        EXPECT_EQ(FileRegistry(in.store()).RegRead(kChecksumValue), c.stored);
        if (c.encrypted) {
            // Under the run's password, not under the transport key of the PIN's code.
            EXPECT_EQ(ReadFile(in.program + "/a_txt.kol"), RefEncrypted(c.password, "txt", "data"));
            continue;
        }
        EXPECT_EQ(run->dialogs.shown.back().icon, MsgIcon::Exclamation);
        // Back to entering, with both modes open.
        const frmKolvik& w = *run->form;
        EXPECT_EQ(w.txtPassword_1.text + w.txtPassword_2.text, "");
        EXPECT_TRUE(w.txtPassword_1.enabled && w.txtPassword_2.enabled);
        EXPECT_TRUE(w.cmdEncrypt.enabled && w.cmdDecrypt.enabled);
        EXPECT_FALSE(w.cmdGoEncrypt.enabled || w.cmdGoDecrypt.enabled);
        EXPECT_EQ(w.cmdGoEncrypt.text, ">-------->>>");
        EXPECT_EQ(w.focus, "txtPassword_1");
    }
}

}  // namespace
}  // namespace kolvik::test
