// SPDX-License-Identifier: GPL-3.0-or-later
// How the widgets' events reach the form model.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlatformSurfaceEvent>
#include <QWindow>

#include "platform/qt/FormBinder.h"
#include "platform/qt/ViewHelpers.h"

namespace kolvik::qt {

void FormBinder::OnFocusChanged(QWidget* now) {
    if (!window_) return;  // a new widget may have the address of one deleted with the window
    const auto it = byWidget_.constFind(now);
    if (it == byWidget_.constEnd()) return;
    // The model learns where the user moved the focus, so that a handler that puts it
    // back where the model last had it still moves it.
    form_.focus = shown_.focus = bindings_[*it].control->name;
}

bool FormBinder::Handles(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
        case QEvent::Close:
        case QEvent::PlatformSurface:
            return true;
        default:
            return false;
    }
}

bool FormBinder::eventFilter(QObject* watched, QEvent* event) {
    if (!window_) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (watched == window_->windowHandle()) return HandleKey(event);
            if (event->type() == QEvent::KeyPress) {
                const auto it = byWidget_.constFind(watched);
                if (it == byWidget_.constEnd()) return false;
                const auto* key = static_cast<QKeyEvent*>(event);
                form_.OnControlKeyDown(*bindings_[*it].control, WindowsKeyCode(key->key()),
                                       ShiftState(key->modifiers()));
                AfterEvent();
                return form_.unloaded;
            }
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return HandleMouse(watched, event);
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            if (watched == window_.data()) {
                form_.OnResize();
                AfterEvent();
            }
            return false;
        case QEvent::Close:
            if (watched != window_.data() || closingFromModel_) return false;
            // Closing from the frame goes through the model, which decides; the window
            // closes when the model unloads the form.
            event->ignore();
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (onClose_)
                        onClose_();
                    else
                        form_.Unload();
                    SyncAll();
                },
                Qt::QueuedConnection);
            return true;
        case QEvent::PlatformSurface:
            if (watched == window_->windowHandle() && !closingFromModel_ &&
                static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                    QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
                // Judged once this event is over: a native window that Qt makes anew at once
                // is no loss.
                QMetaObject::invokeMethod(
                    this, [this] { CheckNativeWindow(); }, Qt::QueuedConnection);
            }
            return false;
        default:
            return false;
    }
}

void FormBinder::OnWindowDestroyed() {
    // Called while the widget is being deleted: neither it nor its controls may be touched.
    window_ = nullptr;
    for (Binding& b : bindings_) b.widget = nullptr;
    byWidget_.clear();
    WindowLost();
}

void FormBinder::NativeWindowDestroyed(WId id) {
    // Qt destroys a native window only after taking it from the widget, so a window that still
    // has this id was destroyed by someone else.
    if (!window_ || closingFromModel_ || id == 0 || window_->internalWinId() != id) return;
    QMetaObject::invokeMethod(
        this, [this] { WindowLost(); }, Qt::QueuedConnection);
}

void FormBinder::CheckNativeWindow() {
    if (!window_ || closingFromModel_) return;
    const QWindow* native = window_->windowHandle();
    if (!native || !native->handle()) WindowLost();
}

void FormBinder::WindowLost() {
    if (unloadReported_) return;
    unloadReported_ = true;
    // Nobody can press Exit on a window that is gone: close as the frame's close button
    // would, which stops a run as Exit does, and let the program end.
    if (onClose_) onClose_();
    form_.Unload();
    if (window_) {
        closingFromModel_ = true;
        window_->close();
    }
    emit Unloaded();
    SyncAll();
}

bool FormBinder::HandleKey(QEvent* event) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const int code = WindowsKeyCode(key->key()), shift = ShiftState(key->modifiers());
    bool windowsOwn = false;
    if (event->type() == QEvent::KeyPress) {
        windowsOwn = form_.OnKeyDown(code, shift);
    } else {
        if (key->isAutoRepeat()) return false;  // the key is still held down
        form_.OnKeyUp(code, shift);
    }
    AfterEvent();
    // A closed form's controls get nothing more, nor does a control get the window's command.
    return windowsOwn || form_.unloaded;
}

bool FormBinder::HandleMouse(QObject* watched, QEvent* event) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    Control* control = nullptr;
    if (watched == window_.data()) {
        // An event that a control passed on to its window was handled at that control.
        QWidget* child = window_->childAt(mouse->position().toPoint());
        const auto it = byWidget_.constFind(child);
        if (it != byWidget_.constEnd() && bindings_[*it].control->kind != ControlKind::Line)
            return false;
    } else {
        const auto it = byWidget_.constFind(watched);
        if (it == byWidget_.constEnd()) return false;
        // A disabled control's mouse events belong to its form.
        if (bindings_[*it].widget->isEnabled()) control = bindings_[*it].control;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            pressed_ = static_cast<QWidget*>(watched);
            form_.OnMouseDown(control);
            break;
        case QEvent::MouseMove:
            form_.OnMouseMove(control);
            break;
        default: {
            // Labels and pictures click when the button comes up over the control it went down on.
            const bool clicks =
                control &&
                (control->kind == ControlKind::Label || control->kind == ControlKind::Picture) &&
                mouse->button() == Qt::LeftButton && pressed_ == watched &&
                static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint());
            pressed_ = nullptr;
            if (!clicks) return false;
            form_.OnClick(*control);
            break;
        }
    }
    AfterEvent();
    return form_.unloaded;
}

}  // namespace kolvik::qt
