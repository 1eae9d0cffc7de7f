// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/Win32Services.h"

#include "platform/win32/FormBinder.h"
#include "platform/win32/Text.h"

namespace kolvik::win32 {

namespace {

// The system names the buttons in its own language; the program speaks Dutch.
HHOOK& DutchButtonsHook() {
    static HHOOK hook = nullptr;
    return hook;
}

LRESULT CALLBACK DutchButtons(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = DutchButtonsHook();
    if (code == HCBT_ACTIVATE) {
        auto* box = reinterpret_cast<HWND>(wParam);
        if (HWND cancel = GetDlgItem(box, IDCANCEL)) SetWindowTextW(cancel, L"Annuleren");
        UnhookWindowsHookEx(hook);
        DutchButtonsHook() = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// The window that asks: the active one of this program, else the newest on screen.
HWND AskingWindow() {
    HWND active = GetActiveWindow();
    if (active && IsWindowVisible(active)) return active;
    return FormBinder::NewestWindow();
}

}  // namespace

MsgAnswer Win32Dialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    // What the handler changed so far is on screen behind the question.
    FormBinder::SyncAll();
    UINT type = buttons == MsgButtons::OKCancel ? MB_OKCANCEL : MB_OK;
    switch (icon) {
        case MsgIcon::None:
            break;
        case MsgIcon::Exclamation:
            type |= MB_ICONEXCLAMATION;
            break;
        case MsgIcon::Information:
            type |= MB_ICONINFORMATION;
            break;
        case MsgIcon::Critical:
            type |= MB_ICONERROR;
            break;
    }
    HWND owner = AskingWindow();
    if (!owner) type |= MB_TASKMODAL | MB_SETFOREGROUND;
    if (buttons == MsgButtons::OKCancel && !DutchButtonsHook())
        DutchButtonsHook() = SetWindowsHookExW(WH_CBT, DutchButtons, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, Wide(text).c_str(), L"Kolvik", type);
    FormBinder::SyncAll();
    return answer == IDCANCEL ? MsgAnswer::Cancel : MsgAnswer::OK;
}

void Win32Dialogs::ShowModal(Form& form) {
    if (form.unloaded) return;
    FormBinder::SyncAll();
    FormBinder binder(form, AskingWindow());
    binder.SetModal(true);
    binder.Show();
    PumpMessages([&form] { return form.unloaded; });
    FormBinder::SyncAll();
}

Win32Screen::Win32Screen(std::chrono::milliseconds minInterval) : minInterval_(minInterval) {}

void Win32Screen::Yield() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastYield_ < minInterval_) return;
    FormBinder::SyncAll();
    PumpMessages([] { return false; }, false);
    lastYield_ = std::chrono::steady_clock::now();
}

void Win32Screen::SetMousePointer(MousePointer pointer) { FormBinder::SetOverridePointer(pointer); }

bool Win32KeyState::CapsLockOn() { return GetKeyState(VK_CAPITAL) == 1; }

}  // namespace kolvik::win32
