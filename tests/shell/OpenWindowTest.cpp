// SPDX-License-Identifier: GPL-3.0-or-later
// A window that has been open a while: another Kolvik may have registered, stored a PIN or
// unregistered since. The PIN gate goes by the store as it is now; that Ctrl+R and the help
// window ask the store afresh is shown in MainWindowTest.cpp and DialogsTest.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "ShellSession.h"
#include "Version.h"
#include "files/Reference.h"

namespace kolvik::test {
namespace {

const std::string kNotice =
    "Onthoud de eerste drie tekens van het zojuist door u ingevoerde wachtwoord.";

// What the other Kolvik does. "07E42A" is the code of "abc" (see PinTest.cpp).
void StorePin(const Install& in) { FileRegistry(in.store()).RegWrite(kChecksumValue, "07E42A"); }
void RegisterWithPin(const Install& in) {
    ShellSession other(in.home, in.program);
    Register(other, "ja", "ja");
    StorePin(in);
}
// The context menu switched off by hand: the stored code stays but is not asked for.
void StorePinContextMenuOff(const Install& in) {
    StorePin(in);
    FileRegistry(in.store()).RegWrite(kContextMenuValue, "nee");
}
void Unregister(const Install& in) {
    ShellSession other(in.home, in.program);
    other->FindSystemFolders();
    other->REG_Delete();
}

// The first line of every message shown, joined by " / ".
std::string FirstLines(const FakeDialogs& dialogs) {
    std::string lines;
    for (const auto& m : dialogs.shown)
        lines += (lines.empty() ? "" : " / ") + m.text.substr(0, m.text.find('\r'));
    return lines;
}

TEST(OpenWindow, ItsGuardsGoByTheStoreWhenUsedNotWhenItOpened) {
    const struct {
        const char* what;
        bool registeredAtOpen;
        void (*meanwhile)(const Install&);
        bool duringNotice;  // the other Kolvik acts while the run shows the PIN notice
        const char* password;
        std::string messages;  // of the run
        bool encrypted;
        std::optional<std::string> stored;  // the PIN code in the store afterwards
    } cases[] = {
        {"registered with a PIN, another PIN", false, RegisterWithPin, false, "xyz123",
         "Foute PIN-code", false, "07E42A"},
        {"registered with a PIN, that PIN", false, RegisterWithPin, false, "abc999", "", true,
         "07E42A"},
        {"PIN stored", true, StorePin, false, "xyz123", "Foute PIN-code", false, "07E42A"},
        {"PIN stored while the notice is up", true, StorePin, true, "xyz123",
         kNotice + " / Foute PIN-code", false, "07E42A"},
        {"unregistered", true, Unregister, false, "xyz123", "", true, std::nullopt},
        {"context menu off", true, StorePinContextMenuOff, false, "xyz123", "", true, "07E42A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install in;
        if (c.registeredAtOpen) Register(*Open(in), "ja", "ja");
        auto run = Open(in);
        if (c.duringNotice) {
            run->dialogs.onMsgBox = [&](const std::string& text) {
                if (text.starts_with(kNotice)) c.meanwhile(in);
            };
        } else {
            c.meanwhile(in);
        }

        const std::string plain = in.program + "/a.txt";
        WriteFile(plain, "data");
        run->Press(c.password);
        EXPECT_EQ(FirstLines(run->dialogs), c.messages);
        EXPECT_EQ(std::filesystem::exists(plain), !c.encrypted);
        if (c.encrypted) {
            EXPECT_EQ(ReadFile(in.program + "/a_txt.kol"), RefEncrypted(c.password, "txt", "data"));
        }
        EXPECT_EQ(FileRegistry(in.store()).RegRead(kChecksumValue), c.stored);
    }
}

}  // namespace
}  // namespace kolvik::test
