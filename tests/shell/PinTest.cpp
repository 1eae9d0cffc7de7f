// The PIN code: its transport code worked out by hand, and the gate across restarts.
#include <gtest/gtest.h>

#include <filesystem>

#include "ShellSession.h"
#include "cipher/TransportCode.h"

namespace kolvik::test {
namespace {

// Under "Velmora" the table codes are A = 0, 86, 101, 108, 109, 111, 114, 97, and
// t(i) = A((i+1) mod 8) * (i mod 8) - A((i+5) mod 8)^(i mod 3) + A((i+5) mod 8) + i:
//   t(1) = 101*1 - 114 + 114 + 1      = 102        -> 0x66
//   t(2) = 108*2 - 97^2 + 97 + 2      = -9094      -> 9094 mod 256 = 134 = 0x86
//   t(3) = 109*3 - 0^0 + 0 + 3        = 329        -> 73 = 0x49
struct CodeCase {
    const char* password;
    const char* code;
};

const CodeCase kCodes[] = {
    {"abc", "07E42A"},     // 61^66, 62^86, 63^49: a leading zero and letters
    {"abcdef", "07E42A"},  // only the first three characters count
    {"abc\xC3\xA9", "07E42A"},
    {"ABC", "27C40A"},         // 41^66, 42^86, 43^49
    {"Q1", "37B7"},            // two characters give four digits
    {"", ""},                  // none give none
    {"C\xC3\xA9z", "256F33"},  // é is E9 in Windows-1252: 43^66, E9^86, 7A^49
};

TEST(TransportCode, MatchesHandWorkedCodes) {
    for (const auto& c : kCodes) {
        TestWindow w;
        w->txtPassword_1.text = c.password;
        w->CipherKey = "Velmora";
        EXPECT_EQ(w->EncodePin(), c.code) << c.password;
        EXPECT_TRUE(w->PinMatches(c.code)) << c.password;
    }
}

TEST(TransportCode, ComparisonIsExact) {
    TestWindow w;
    w->txtPassword_1.text = "abcdef";
    w->CipherKey = "Velmora";
    const struct {
        const char* stored;
        bool matches;
    } cases[] = {
        {"07E42A", true}, {"07e42a", false}, {"7E42A", false}, {"07E42A ", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(w->PinMatches(c.stored), c.matches) << c.stored;
}

// The gate always sets the fixed key first; under any other key there is no code.
TEST(TransportCode, IsEmptyUnderAnotherKey) {
    TestWindow w;
    w->txtPassword_1.text = "abc";
    w->CipherKey = "abc";
    EXPECT_EQ(w->EncodePin(), "");
    EXPECT_TRUE(w->PinMatches(""));
}

TEST(TransportCode, WritesNoScratchFile) {
    TempDir dir;
    TestWindow w(dir.path());
    w->txtPassword_1.text = "abc";
    w->CipherKey = "Velmora";
    w->EncodePin();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

constexpr const char* kChecksum = "HKEY_CLASSES_ROOT\\kolvik10.0.2\\Checksum\\";
constexpr const char* kCreated =
    "Onthoud de eerste drie tekens van het zojuist door u ingevoerde wachtwoord.\r\n"
    "Dit is voortaan uw PIN-code. ( Verwijderen PIN-code = CTRL + u , F1 = Help)";

// Each session is one start of the program on the same store.
class PinGateAcrossRestarts : public ::testing::Test {
  protected:
    TempDir dir;
    std::string home = dir / "home";
    std::string program = dir / "opt";

    void SetUp() override {
        std::filesystem::create_directories(home);
        std::filesystem::create_directories(program);
        WriteFile(program + "/kolvik", "programma");
    }
    std::unique_ptr<ShellSession> Start() {
        auto s = std::make_unique<ShellSession>(home, program);
        (*s)->FindSystemFolders();
        (*s)->REG_Check();
        return s;
    }
    void Register(const char* ctx) {
        auto s = Start();
        (*s)->RegKolExtension = "ja";
        (*s)->RegContextMenu = ctx;
        (*s)->REG_Create();
    }
    static bool Gate(ShellSession& s, const std::string& password) {
        s->txtPassword_1.text = s->txtPassword_2.text = password;
        s->cmdEncrypt_Click();
        return s->PinGate();
    }
};

TEST_F(PinGateAcrossRestarts, CreatesThenDemandsThePin) {
    Register("ja");
    {
        auto s = Start();
        ASSERT_EQ((*s)->RegChecksum, "");
        EXPECT_TRUE(Gate(*s, "abcdef"));
        ASSERT_EQ(s->dialogs.shown.size(), 1u);
        EXPECT_EQ(s->dialogs.shown[0].text, kCreated);
        EXPECT_EQ(s->dialogs.shown[0].buttons, MsgButtons::OK);
        EXPECT_EQ(s->dialogs.shown[0].icon, MsgIcon::None);
        EXPECT_EQ(s->registry.RegRead(kChecksum), "07E42A");
        EXPECT_EQ((*s)->CipherKey, "Velmora");
        // Not refreshed: the same window creates the code again, from the new password.
        EXPECT_EQ((*s)->RegChecksum, "");
        EXPECT_TRUE(Gate(*s, "Q1"));
        EXPECT_EQ(s->dialogs.shown.size(), 2u);
        EXPECT_EQ(s->registry.RegRead(kChecksum), "37B7");
        EXPECT_TRUE(Gate(*s, "abcdef"));
    }

    const struct {
        const char* password;
        bool accepted;
    } attempts[] = {
        {"abcXYZ", true},                      // another tail
        {"abc", true},     {"abd123", false},  // another PIN
        {"ABCdef", false},                     // letter case differs
        {"ab", false},     {"", false},
    };
    for (const auto& a : attempts) {
        auto s = Start();
        ASSERT_EQ((*s)->RegChecksum, "07E42A");
        EXPECT_EQ(Gate(*s, a.password), a.accepted) << a.password;
        EXPECT_EQ(s->registry.RegRead(kChecksum), "07E42A") << "the stored code stays";
        if (a.accepted) {
            EXPECT_TRUE(s->dialogs.shown.empty()) << a.password;
            continue;
        }
        ASSERT_EQ(s->dialogs.shown.size(), 1u) << a.password;
        EXPECT_EQ(s->dialogs.shown[0].text, "Foute PIN-code");
        EXPECT_EQ(s->dialogs.shown[0].buttons, MsgButtons::OK);
        EXPECT_EQ(s->dialogs.shown[0].icon, MsgIcon::Exclamation);
        frmKolvik& f = *s->form;
        EXPECT_EQ(f.txtPassword_1.text, "");
        EXPECT_EQ(f.txtPassword_2.text, "");
        EXPECT_TRUE(f.txtPassword_1.enabled && f.txtPassword_2.enabled);
        EXPECT_TRUE(f.cmdEncrypt.enabled && f.cmdDecrypt.enabled);
        EXPECT_EQ(f.cmdGoEncrypt.text, ">-------->>>");
        EXPECT_EQ(f.cmdGoDecrypt.text, ">-------->>>");
        EXPECT_FALSE(f.cmdGoEncrypt.enabled || f.cmdGoDecrypt.enabled);
        EXPECT_EQ(f.focus, "txtPassword_1");
    }
}

// A registration with the context menu starts without a PIN, even after one was set.
TEST_F(PinGateAcrossRestarts, RegisteringAgainClearsThePin) {
    Register("ja");
    {
        auto s = Start();
        Gate(*s, "abc");
    }
    Register("ja");
    auto s = Start();
    EXPECT_EQ((*s)->RegChecksum, "");
}

TEST_F(PinGateAcrossRestarts, NoGateWithoutTheContextMenu) {
    Register("ja");
    {
        auto s = Start();
        Gate(*s, "abc");
    }
    // The context menu switched off by hand; the stored code stays but is not asked for.
    ShellSession(home, program)
        .registry.RegWrite("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\addtocontext", "nee");
    for (const char* password : {"xyz", ""}) {
        auto s = Start();
        ASSERT_EQ((*s)->RegChecksum, "07E42A");
        EXPECT_TRUE(Gate(*s, password));
        EXPECT_TRUE(s->dialogs.shown.empty());
        EXPECT_EQ(s->registry.RegRead(kChecksum), "07E42A");
    }
}

TEST_F(PinGateAcrossRestarts, NoPinWhenNotRegistered) {
    auto s = Start();
    EXPECT_TRUE(Gate(*s, "abc"));
    EXPECT_TRUE(s->dialogs.shown.empty());
    EXPECT_FALSE(s->registry.RegRead(kChecksum));
}

}  // namespace
}  // namespace kolvik::test
