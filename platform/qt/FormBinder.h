// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns a form model into a window of widgets and keeps the two in step: the model's
// state is copied into the widgets after every handler and at every yield, and the
// widgets' events call the model. One binder per open window, for any form.
#include <QEvent>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/ControlSync.h"
#include "platform/Form.h"

namespace kolvik::qt {

class FormBinder : public QObject {
    Q_OBJECT

  public:
    // With a parent the window becomes a dialog over it.
    explicit FormBinder(Form& form, QWidget* parent = nullptr);
    ~FormBinder() override;
    FormBinder(const FormBinder&) = delete;
    FormBinder& operator=(const FormBinder&) = delete;

    Form& Model() const { return form_; }
    QWidget* Window() const { return window_; }
    // The widget that shows the named control, or nullptr.
    QWidget* Widget(const std::string& controlName) const;

    // What closing the window from its frame does; by default the form unloads.
    void SetCloseHandler(std::function<void()> handler) { onClose_ = std::move(handler); }

    // Shows the window centred on its screen. A form that asks to be shown (Form::Show) is
    // shown at the next sync.
    void Show();

    // Copies the model into the widgets, touching only what changed, so that typing,
    // the cursor and the selection are never disturbed.
    void Sync();
    // A handler of one window may change another, so every event ends with this.
    static void SyncAll();
    // Hands an application event to every open window's filter until one takes it.
    static bool Dispatch(QObject* watched, QEvent* event);
    // The newest window on screen, or nullptr: a message box stands over it.
    static QWidget* NewestWindow();

    // The native window of that id was destroyed; by Qt itself only once it has let go of it.
    void NativeWindowDestroyed(WId id);

  signals:
    // The model unloaded the form and the window has been closed.
    void Unloaded();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Binding {
        Control* control;
        QWidget* widget;
        Control shown;  // what the widget shows now
    };

    QWidget* CreateWidget(Control& control);
    void Apply(Binding& b, bool all);
    void ApplyText(Binding& b);
    void ApplyStyle(Binding& b);
    void ApplyPointer();
    // A button is held down.
    static bool ButtonHeld();
    void ApplyTabOrder();
    void AfterEvent();
    // The event types the filter acts on.
    static bool Handles(QEvent::Type type);
    bool HandleKey(QEvent* event);
    bool HandleMouse(QObject* watched, QEvent* event);
    void OnFocusChanged(QWidget* now);
    void Place();
    // The window went without being closed (its widget deleted or its native window destroyed).
    void OnWindowDestroyed();
    void CheckNativeWindow();
    void WindowLost();

    Form& form_;
    QPointer<QWidget> window_;
    std::vector<Binding> bindings_;
    QHash<const QObject*, std::size_t> byWidget_;
    std::function<void()> onClose_;
    FormShown shown_;
    bool closingFromModel_ = false;
    bool unloadReported_ = false;
    bool placed_ = false;
    QPointer<QWidget> pressed_;
};

}  // namespace kolvik::qt
