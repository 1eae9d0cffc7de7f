// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Services that answer from a script, so tests can drive form models without a window.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/frmKolvik.h"

namespace kolvik::test {

struct ShownMessage {
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
};

class FakeDialogs : public Dialogs {
  public:
    std::deque<MsgAnswer> answers;  // next answers; OK when empty
    std::vector<ShownMessage> shown;
    std::vector<std::string> modalForms;  // captions of forms shown modally
    std::function<void(Form&)> onShowModal;
    std::function<void(const std::string&)> onMsgBox;  // runs while the message is shown
    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    void ShowModal(Form& form) override;
    std::vector<std::string> Texts() const;  // of the messages shown, in order
};

class FakeScreen : public Screen {
  public:
    int yields = 0;
    std::function<void()> onYield;  // runs inside a yield, as a click would
    void Yield() override;
    void SetMousePointer(MousePointer) override {}
};

class FakeKeyState : public KeyState {
  public:
    bool capsLock = false;
    bool CapsLockOn() override { return capsLock; }
};

class FakeClock : public Clock {
  public:
    WallClock::time_point now = WallClock::now();
    std::chrono::steady_clock::time_point monotonic{};
    WallClock::time_point Now() override { return now; }
    std::chrono::steady_clock::time_point Monotonic() override { return monotonic; }
};

class FakeRegional : public Regional {
  public:
    std::string separator = ",";
    std::string TimeOfDay(WallClock::time_point) override { return "12:34:56"; }
    std::string ShortDate(WallClock::time_point) override { return "06-12-2026"; }
    std::string DecimalSeparator() override { return separator; }
};

class FakeLauncher : public Launcher {
  public:
    std::vector<std::pair<ViewKind, std::string>> viewed;
    void OpenForViewing(ViewKind kind, const std::string& path) override {
        viewed.emplace_back(kind, path);
    }
};

// Keys as a flat map of full value names; enough for tests that only read and write values.
class MapRegistry : public Registry {
  public:
    std::map<std::string, std::string> values;
    std::optional<std::string> RegRead(const std::string& name) override;
    bool RegWrite(const std::string& name, const std::string& value) override;
    bool RegDelete(const std::string& name) override;
    bool Import(const std::string&) override { return true; }
};

// A main window with fake services, its program folder set to a test folder.
struct TestWindow {
    FakeDialogs dialogs;
    FakeScreen screen;
    FakeKeyState keys;
    FakeClock clock;
    FakeRegional regional;
    FakeLauncher launcher;
    MapRegistry registry;
    std::unique_ptr<frmKolvik> form;

    // store: a registry to use instead of the map, such as the real per-user store; shownBy:
    // dialogs to use instead of the scripted ones, such as a view's.
    explicit TestWindow(const std::string& programFolder = "/nonexistent/kolvik",
                        const std::string& commandLine = "", Registry* store = nullptr,
                        std::vector<std::string> environment = {}, Dialogs* shownBy = nullptr);
    frmKolvik* operator->() { return form.get(); }
    // Both entries typed, then the mode button and the start button pressed; files written
    // before this are fair game for the run.
    void Press(const std::string& password, bool decrypt = false);
};

}  // namespace kolvik::test
