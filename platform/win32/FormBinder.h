// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns a form model into a native window and keeps the two in step: the model's state is
// copied into the controls after every handler and at every yield, and the controls' events
// call the model. One binder per open window, for any form. The same work as the Qt binder,
// with Win32 controls placed at the window's DPI.
#include <windows.h>
// winbase.h still defines the 16-bit Yield() as a macro, which would hide Screen::Yield.
#undef Yield

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ControlSync.h"
#include "platform/Form.h"
#include "platform/win32/DdeAnswer.h"
#include "platform/win32/Layout.h"

namespace kolvik::win32 {

class FormBinder {
  public:
    // With an owner the window is a dialog over it.
    explicit FormBinder(Form& form, HWND owner = nullptr);
    ~FormBinder();
    FormBinder(const FormBinder&) = delete;
    FormBinder& operator=(const FormBinder&) = delete;

    Form& Model() const { return form_; }
    HWND Window() const { return window_; }
    // The window that shows the named control, or nullptr.
    HWND ControlWindow(const std::string& controlName) const;
    int Dpi() const { return dpi_; }

    // What closing the window from its frame does; by default the form unloads.
    void SetCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }
    // Called once the model has unloaded the form and its window is gone.
    void SetUnloadHandler(std::function<void()> handler) { onUnload_ = std::move(handler); }
    // The window answers the shell's DDE conversation for that application and topic.
    void AnswerDdeAs(DdeName name) { dde_ = std::move(name); }
    // While this window is open every other window of the program is disabled.
    void SetModal(bool modal) { modal_ = modal; }

    // Shows the window centred on its monitor. A form that asks to be shown (Form::Show) is
    // shown at the next sync.
    void Show();
    // Copies the model into the controls, touching only what changed.
    void Sync();
    // A handler of one window may change another, so every event ends with this.
    static void SyncAll();
    // The newest window on screen, or nullptr: a message box stands over it.
    static HWND NewestWindow();

    // The message loop's filter, before TranslateMessage and DispatchMessage: keys reach the
    // window before its focused control, and mouse events reach the model. True when the
    // message was handled and must not be dispatched.
    static bool PreTranslate(const MSG& msg);
    // After each message: where the user moved the focus.
    static void NoteFocus();
    // A pointer for the whole program (the hourglass of a run), over every form's own.
    static void SetOverridePointer(MousePointer pointer);

  private:
    struct Binding {
        Control* control = nullptr;
        HWND hwnd = nullptr;
        Control shown;
        HFONT font = nullptr;  // owned; a label fitted to its text has a font of its own size
    };

    static std::vector<FormBinder*>& Live();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LabelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    static void RegisterClasses();
    static FormBinder* Owning(HWND hwnd, Binding** binding);

    void CreateControl(Binding& b);
    void Apply(Binding& b, bool all);
    void ApplyFont(Binding& b);
    void Layout();  // places everything at dpi_
    void Place();
    void Close();
    // A button of this window is held down.
    bool ButtonHeld() const;
    void UpdatePointer();
    bool HandleKey(const MSG& msg, Binding* b);
    bool HandleMouse(const MSG& msg, Binding* b);
    bool MoveFocus(Binding* from, bool backwards);
    void PaintLines(HDC dc);
    void DrawButton(const DRAWITEMSTRUCT& item);
    void PaintPicture(HWND hwnd, HDC dc);
    void PaintLabel(HWND hwnd, HDC dc);
    HBITMAP Picture(const std::string& name);
    HBRUSH BackBrush(const std::optional<Rgb>& color);
    COLORREF FormBack() const;

    Form& form_;
    HWND owner_;
    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    int dpi_ = kBaseDpi;
    std::vector<Binding> bindings_;
    std::function<void()> onClose_, onUnload_;
    bool modal_ = false;
    DdeName dde_;
    std::vector<HWND> disabled_;  // the windows this modal one disabled
    bool placed_ = false, unloadReported_ = false;
    FormShown shown_;
    HWND pressed_ = nullptr;
    std::map<std::string, HBITMAP> pictures_;  // at dpi_
    std::map<COLORREF, HBRUSH> brushes_;
};

// What a control shows now, as the model holds texts.
std::string WindowText(HWND hwnd);

// The program's message loop until done() holds or WM_QUIT arrives; with wait false, only the
// messages already queued.
void PumpMessages(const std::function<bool()>& done, bool wait = true);

}  // namespace kolvik::win32
