// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/FormBinder.h"

#include <QAbstractButton>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <algorithm>
#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define KOLVIK_HAVE_XCB 1
#endif

#include "platform/qt/ControlWidgets.h"
#include "platform/qt/ViewHelpers.h"

namespace kolvik::qt {

namespace {

std::vector<FormBinder*>& LiveBinders() {
    static std::vector<FormBinder*> live;
    return live;
}

// One application-wide filter for every binder, installed once. A filter per binder would
// be installed and removed while a modal window runs inside another filter's call, and
// Qt's filter list shifts under that call: the event in hand then reached a filter twice.
class BinderDispatch : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return FormBinder::Dispatch(watched, event);
    }
};

// Another X client may destroy the window (xdotool windowclose does): Qt hears of it only as
// a DestroyNotify, and would otherwise go on without a window until the run ends, and after.
class NativeDestroyWatch : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef KOLVIK_HAVE_XCB
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY) return false;
        const auto window = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
        for (FormBinder* binder : std::vector<FormBinder*>(LiveBinders()))
            binder->NativeWindowDestroyed(window);
#else
        (void)type;
        (void)message;
#endif
        return false;
    }
};

void EnsureDispatch() {
    static QPointer<BinderDispatch> dispatch;
    if (dispatch) return;
    dispatch = new BinderDispatch(qApp);
    qApp->installEventFilter(dispatch);
    static NativeDestroyWatch watch;
    qApp->installNativeEventFilter(&watch);
}

// The point size the twips layout was drawn for; a larger desktop font would not fit.
constexpr double kBasePointSize = 8.25;

}  // namespace

FormBinder::FormBinder(Form& form, QWidget* parent) : form_(form) {
    window_ = new QWidget(parent, parent ? Qt::Dialog : Qt::Window);
    window_->setMouseTracking(true);
    window_->setWindowIcon(ProgramIcon());
    QFont base = window_->font();
    if (!SansFamily().isEmpty()) base.setFamily(SansFamily());
    base.setPointSizeF(kBasePointSize);
    window_->setFont(base);

    const std::vector<Control*> controls = form_.Controls();
    bindings_.reserve(controls.size());
    for (Control* control : controls) {
        QWidget* widget = CreateWidget(*control);
        widget->setMouseTracking(true);
        byWidget_.insert(widget, bindings_.size());
        bindings_.push_back({control, widget, *control});
    }
    ApplyTabOrder();

    // Through the application-wide filter, key events reach the window before its focused
    // control, whichever control that is, and mouse events of every control come past too.
    EnsureDispatch();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
    // A window that goes without being closed must still stop a run and end the program.
    connect(window_, &QObject::destroyed, this, [this] { OnWindowDestroyed(); });
    LiveBinders().push_back(this);
    Sync();
}

FormBinder::~FormBinder() {
    auto& live = LiveBinders();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    if (window_) disconnect(window_, nullptr, this, nullptr);
    delete window_.data();
}

QWidget* FormBinder::Widget(const std::string& controlName) const {
    for (const Binding& b : bindings_)
        if (b.control->name == controlName) return b.widget;
    return nullptr;
}

QWidget* FormBinder::CreateWidget(Control& control) {
    switch (control.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(window_);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::TextBox: {
            auto* edit = new QLineEdit(window_);
            if (control.passwordChar) {
                auto* style = new StarPasswordStyle;
                style->setParent(edit);
                edit->setStyle(style);
                edit->setEchoMode(QLineEdit::Password);
            }
            connect(edit, &QLineEdit::textEdited, this,
                    [&control](const QString& text) { control.text = text.toStdString(); });
            return edit;
        }
        case ControlKind::Button: {
            QAbstractButton* button = nullptr;
            if (control.picture.empty()) {
                auto* push = new QPushButton(window_);
                push->setAutoDefault(true);  // Enter presses the focused button
                button = push;
            } else {
                // Picture above caption: a push button would put them side by side.
                auto* tool = new QToolButton(window_);
                tool->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
                tool->setIcon(QIcon(LoadPicture(control.picture)));
                tool->setIconSize(QSize(24, 24));
                button = tool;
            }
            connect(button, &QAbstractButton::clicked, this, [this, &control] {
                form_.OnClick(control);
                AfterEvent();
            });
            return button;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(window_);
            connect(box, &QCheckBox::clicked, this, [this, &control](bool checked) {
                control.value = checked ? 1 : 0;
                form_.OnClick(control);
                AfterEvent();
            });
            return box;
        }
        case ControlKind::Picture: {
            auto* picture = new QLabel(window_);
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // shown at its own size, clipped
            return picture;
        }
        case ControlKind::Line: {
            // Lines are drawn on the form itself, under every control.
            auto* line = new LineWidget(window_);
            line->lower();
            return line;
        }
    }
    return new QWidget(window_);
}

void FormBinder::ApplyTabOrder() {
    std::vector<const Binding*> chain;
    for (const Binding& b : bindings_) {
        // Labels and pictures keep their place in the tab order but never take the focus.
        const ControlKind kind = b.control->kind;
        if (kind == ControlKind::Line || kind == ControlKind::Label || kind == ControlKind::Picture)
            continue;
        if (b.control->tabIndex >= 0)
            chain.push_back(&b);
        else
            b.widget->setFocusPolicy(Qt::NoFocus);
    }
    std::stable_sort(chain.begin(), chain.end(), [](const Binding* a, const Binding* b) {
        return a->control->tabIndex < b->control->tabIndex;
    });
    for (const Binding* b : chain) b->widget->setFocusPolicy(Qt::StrongFocus);
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1]->widget, chain[i]->widget);
}

void FormBinder::Show() {
    Sync();
    if (form_.unloaded || !window_ || placed_) return;
    Place();
}

void FormBinder::Place() {
    placed_ = true;
    QScreen* screen = window_->parentWidget() ? window_->parentWidget()->screen()
                                              : QGuiApplication::primaryScreen();
    if (screen) {
        // The client area is centred; setGeometry places it without the frame.
        QRect area(QPoint(), window_->size());
        area.moveCenter(screen->availableGeometry().center());
        window_->setGeometry(area);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void FormBinder::SyncAll() {
    // By index: a slot of Unloaded may open or close another binder.
    auto& live = LiveBinders();
    for (std::size_t i = 0; i < live.size(); ++i) live[i]->Sync();
}

void FormBinder::AfterEvent() { SyncAll(); }

QWidget* FormBinder::NewestWindow() {
    const auto& live = LiveBinders();
    for (auto it = live.rbegin(); it != live.rend(); ++it)
        if ((*it)->window_ && (*it)->window_->isVisible()) return (*it)->window_;
    return nullptr;
}

bool FormBinder::Dispatch(QObject* watched, QEvent* event) {
    if (!Handles(event->type())) return false;  // paints and timers, the bulk of all events
    // The newest window first; a binder that a handler closes meanwhile is skipped.
    std::vector<QPointer<FormBinder>> binders(LiveBinders().rbegin(), LiveBinders().rend());
    for (const QPointer<FormBinder>& binder : binders)
        if (binder && binder->eventFilter(watched, event)) return true;
    return false;
}

void FormBinder::Sync() {
    if (!window_) return;
    const FormChanges changes = TakeFormChanges(form_, shown_);
    if (changes.caption) window_->setWindowTitle(ToQString(form_.caption));
    if (changes.size)
        window_->setFixedSize(TwipsToPixels(form_.clientWidth), TwipsToPixels(form_.clientHeight));
    if (changes.all && form_.backColor) {
        QPalette palette = window_->palette();
        palette.setColor(QPalette::Window,
                         QColor(form_.backColor->r, form_.backColor->g, form_.backColor->b));
        window_->setPalette(palette);
        window_->setAutoFillBackground(true);
    }
    if (changes.pointer) ApplyPointer();
    for (Binding& b : bindings_) Apply(b, changes.all);
    // Focus last: the control that gets it may just have been enabled or shown.
    if (form_.focus != shown_.focus && !ButtonHeld()) {
        shown_.focus = form_.focus;
        if (QWidget* target = Widget(form_.focus)) target->setFocus(Qt::OtherFocusReason);
    }
    if (form_.unloaded && !unloadReported_) {
        unloadReported_ = true;
        closingFromModel_ = true;
        window_->close();
        emit Unloaded();
    } else if (form_.shown && !placed_ && !form_.unloaded) {
        Place();
    }
}

bool FormBinder::ButtonHeld() {
    // It keeps the focus until it is released: losing the focus cancels its press, and Exit
    // pressed while a run moves the focus would never click.
    const auto* held = qobject_cast<const QAbstractButton*>(QApplication::focusWidget());
    return held && held->isDown();
}

void FormBinder::ApplyPointer() {
    switch (form_.pointer) {
        case MousePointer::Default:
            window_->unsetCursor();
            break;
        case MousePointer::Hourglass:
            window_->setCursor(Qt::WaitCursor);
            break;
        case MousePointer::QuestionArrow:
            window_->setCursor(Qt::WhatsThisCursor);
            break;
    }
}

void FormBinder::Apply(Binding& b, bool all) {
    const Control& c = *b.control;
    // A text box is compared with what it holds: what the user typed is already in the model.
    if (c.kind == ControlKind::TextBox)
        b.shown.text = static_cast<QLineEdit*>(b.widget)->text().toStdString();
    const ControlChanges ch = TakeChanges(c, b.shown, all);
    if (c.kind == ControlKind::Line && (ch.place || ch.lineWidth)) {
        const LineShape shape = LineGeometry(c);
        b.widget->setGeometry(shape.rect);
        static_cast<LineWidget*>(b.widget)->SetLine(shape.line, c.lineWidth);
    } else if (c.kind != ControlKind::Line && ch.place) {
        b.widget->setGeometry(ControlRect(c.place));
    }
    if (ch.text) ApplyText(b);
    if (ch.picture && c.kind == ControlKind::Picture)
        static_cast<QLabel*>(b.widget)->setPixmap(LoadPicture(c.picture));
    else if (ch.picture && !c.picture.empty())
        static_cast<QAbstractButton*>(b.widget)->setIcon(QIcon(LoadPicture(c.picture)));
    if (ch.value) static_cast<QCheckBox*>(b.widget)->setChecked(c.value == 1);
    if (ch.tooltip) b.widget->setToolTip(ToQString(c.tooltip));
    if (ch.font || ch.colors) ApplyStyle(b);
    if (ch.refit) FitLabelFont(*static_cast<QLabel*>(b.widget), ControlFont(c, window_->font()));
    if (ch.enabled) b.widget->setEnabled(c.enabled);
    if (ch.visible) b.widget->setVisible(c.visible);
}

void FormBinder::ApplyText(Binding& b) {
    const QString text = ToQString(b.control->text);
    switch (b.control->kind) {
        case ControlKind::Label:
            static_cast<QLabel*>(b.widget)->setText(text);
            break;
        case ControlKind::TextBox:
            static_cast<QLineEdit*>(b.widget)->setText(text);
            break;
        default:
            static_cast<QAbstractButton*>(b.widget)->setText(text);
            break;
    }
}

void FormBinder::ApplyStyle(Binding& b) {
    const Control& c = *b.control;
    b.widget->setFont(ControlFont(c, window_->font()));
    QPalette palette = window_->palette();
    if (c.foreColor) {
        const QColor fore(c.foreColor->r, c.foreColor->g, c.foreColor->b);
        // Active and inactive only: a disabled control still greys out.
        for (auto group : {QPalette::Active, QPalette::Inactive})
            for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                palette.setColor(group, role, fore);
    }
    if (c.backColor) {
        const QColor back(c.backColor->r, c.backColor->g, c.backColor->b);
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            palette.setColor(role, back);
    }
    b.widget->setPalette(palette);
    b.widget->setAutoFillBackground(c.backColor.has_value());
}

}  // namespace kolvik::qt
