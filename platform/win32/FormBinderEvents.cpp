// SPDX-License-Identifier: GPL-3.0-or-later
// How the native window's messages reach the form model.
#include <windowsx.h>

#include "platform/win32/Drawing.h"
#include "platform/win32/FormBinder.h"
#include "platform/win32/Text.h"

namespace kolvik::win32 {

namespace {

MousePointer& OverridePointer() {
    static MousePointer pointer = MousePointer::Default;
    return pointer;
}

HCURSOR CursorFor(MousePointer pointer) {
    switch (pointer) {
        case MousePointer::Hourglass:
            return LoadCursorW(nullptr, IDC_WAIT);
        case MousePointer::QuestionArrow:
            return LoadCursorW(nullptr, IDC_HELP);
        case MousePointer::Default:
            break;
    }
    return nullptr;
}

bool Down(int virtualKey) { return (GetKeyState(virtualKey) & 0x8000) != 0; }

}  // namespace

FormBinder* FormBinder::Owning(HWND hwnd, Binding** binding) {
    *binding = nullptr;
    HWND top = GetAncestor(hwnd, GA_ROOT);
    if (!top) return nullptr;
    auto* binder = reinterpret_cast<FormBinder*>(GetWindowLongPtrW(top, GWLP_USERDATA));
    if (!binder || binder->window_ != top) return nullptr;
    if (hwnd != top) {
        // Child controls carry their place in the list as their id.
        const auto index = static_cast<std::size_t>(GetDlgCtrlID(hwnd)) - 1;
        if (index < binder->bindings_.size() && binder->bindings_[index].hwnd == hwnd)
            *binding = &binder->bindings_[index];
        else
            return nullptr;  // an edit's own parts, a tooltip: not the model's
    }
    return binder;
}

LRESULT CALLBACK FormBinder::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<FormBinder*>(create->lpCreateParams)->window_ = hwnd;
    }
    auto* binder = reinterpret_cast<FormBinder*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (binder && binder->window_ == hwnd) return binder->Handle(msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormBinder::PictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Binding* b = nullptr;
        if (FormBinder* binder = Owning(hwnd, &b)) binder->PaintPicture(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;  // the paint fills it
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK FormBinder::LabelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            Binding* b = nullptr;
            if (FormBinder* binder = Owning(hwnd, &b)) binder->PaintLabel(hwnd, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the paint fills it
        case WM_SETTEXT:
        case WM_SETFONT:
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT FormBinder::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (AnswerDde(window_, dde_, msg, wParam, lParam)) return 0;
    switch (msg) {
        case WM_COMMAND: {
            const auto index = static_cast<std::size_t>(LOWORD(wParam)) - 1;
            if (lParam == 0 || index >= bindings_.size()) break;
            Binding& b = bindings_[index];
            const int code = HIWORD(wParam);
            if (b.control->kind == ControlKind::TextBox && code == EN_CHANGE) {
                b.control->text = b.shown.text = WindowText(b.hwnd);
            } else if (code == BN_CLICKED && (b.control->kind == ControlKind::Button ||
                                              b.control->kind == ControlKind::CheckBox)) {
                if (b.control->kind == ControlKind::CheckBox)
                    b.control->value = b.shown.value =
                        SendMessageW(b.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
                form_.OnClick(*b.control);
                SyncAll();
            }
            return 0;
        }
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            Binding* b = nullptr;
            if (Owning(reinterpret_cast<HWND>(lParam), &b) != this || !b) break;
            const Control& c = *b->control;
            if (c.kind != ControlKind::CheckBox) break;
            auto* dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, c.foreColor
                                 ? ToColorRef(*c.foreColor)
                                 : GetSysColor(c.enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
            SetBkColor(dc, c.backColor ? ToColorRef(*c.backColor) : FormBack());
            return reinterpret_cast<LRESULT>(BackBrush(c.backColor));
        }
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(BackBrush(std::nullopt));
        case WM_ERASEBKGND: {
            RECT rc{};
            GetClientRect(window_, &rc);
            FillRect(reinterpret_cast<HDC>(wParam), &rc, BackBrush(std::nullopt));
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window_, &ps);
            PaintLines(dc);
            EndPaint(window_, &ps);
            return 0;
        }
        case WM_SETCURSOR: {
            MousePointer pointer = OverridePointer();
            if (pointer == MousePointer::Default) pointer = form_.pointer;
            if (pointer == MousePointer::Default || LOWORD(lParam) != HTCLIENT) break;
            SetCursor(CursorFor(pointer));
            return TRUE;
        }
        case WM_SIZE:
            form_.OnResize();
            SyncAll();
            return 0;
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();  // sizes the window from its twips at the new DPI
            return 0;
        }
        case WM_CLOSE:
            // Closing from the frame goes through the model, which decides; the window closes
            // when the model unloads the form.
            if (onClose_)
                onClose_();
            else
                form_.Unload();
            SyncAll();
            return 0;
        case WM_DESTROY:
            if (!unloadReported_) {
                // Gone without the model closing it: stop as the frame's close button would.
                unloadReported_ = true;
                window_ = nullptr;
                if (onClose_) onClose_();
                form_.Unload();
                if (onUnload_) onUnload_();
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, msg, wParam, lParam);
}

bool FormBinder::PreTranslate(const MSG& msg) {
    if (!msg.hwnd) return false;
    Binding* b = nullptr;
    FormBinder* binder = Owning(msg.hwnd, &b);
    if (!binder) {
        // An edit control's own child windows have no id of ours; their parent has.
        HWND parent = GetParent(msg.hwnd);
        if (parent) binder = Owning(parent, &b);
        if (!binder || !b) return false;
    }
    switch (msg.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            return binder->HandleKey(msg, b);
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return binder->HandleMouse(msg, b);
        default:
            return false;
    }
}

bool FormBinder::HandleKey(const MSG& msg, Binding* b) {
    const int code = ModelKeyCode(static_cast<unsigned>(msg.wParam));
    const int shift = ShiftState(Down(VK_SHIFT), Down(VK_CONTROL), Down(VK_MENU));
    const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    if (!down) return RouteKeyUp(form_, code, shift, SyncAll) == KeyRoute::Handled;
    // The focused control as the model knows it: the user may have moved it since.
    NoteFocus();
    if (RouteKeyDown(form_, b ? b->control : nullptr, code, shift, SyncAll) == KeyRoute::Handled)
        return true;
    if (code == VK_TAB && (shift & (kCtrl | kAlt)) == 0) return MoveFocus(b, shift == kShift);
    if (code == VK_RETURN && shift == 0 && b && b->control->kind == ControlKind::Button) {
        SendMessageW(b->hwnd, BM_CLICK, 0, 0);  // Enter presses the focused button
        return true;
    }
    return false;
}

bool FormBinder::MoveFocus(Binding* from, bool backwards) {
    std::vector<TabStop> stops;
    stops.reserve(bindings_.size());
    for (const Binding& b : bindings_) {
        const ControlKind kind = b.control->kind;
        // Labels and pictures keep their place in the tab order but never take the focus.
        const bool focusable = kind == ControlKind::TextBox || kind == ControlKind::Button ||
                               kind == ControlKind::CheckBox;
        stops.push_back({focusable ? b.control->tabIndex : -1,
                         b.hwnd && IsWindowVisible(b.hwnd) && IsWindowEnabled(b.hwnd)});
    }
    const int current = from ? static_cast<int>(from - bindings_.data()) : -1;
    const int next = NextTabStop(stops, current, backwards);
    if (next < 0) return true;
    Binding& to = bindings_[static_cast<std::size_t>(next)];
    SetFocus(to.hwnd);
    if (to.control->kind == ControlKind::TextBox) SendMessageW(to.hwnd, EM_SETSEL, 0, -1);
    NoteFocus();
    return true;
}

bool FormBinder::HandleMouse(const MSG& msg, Binding* b) {
    // A disabled control's mouse events reach its form, as the system delivers them.
    Control* control = b ? b->control : nullptr;
    switch (msg.message) {
        case WM_LBUTTONDOWN:
            pressed_ = msg.hwnd;
            form_.OnMouseDown(control);
            break;
        case WM_MOUSEMOVE:
            form_.OnMouseMove(control);
            break;
        default: {
            // Labels and pictures click when the button comes up over the control it went
            // down on; buttons and check boxes report their own clicks.
            RECT rc{};
            GetClientRect(msg.hwnd, &rc);
            const POINT at{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            const bool clicks =
                control &&
                (control->kind == ControlKind::Label || control->kind == ControlKind::Picture) &&
                pressed_ == msg.hwnd && PtInRect(&rc, at);
            pressed_ = nullptr;
            if (!clicks) return false;
            form_.OnClick(*control);
            break;
        }
    }
    SyncAll();
    return form_.unloaded;
}

void FormBinder::NoteFocus() {
    HWND focused = GetFocus();
    if (!focused) return;
    Binding* b = nullptr;
    FormBinder* binder = Owning(focused, &b);
    if (!binder || !b) return;
    // The model learns where the user moved the focus, so that a handler that puts it back
    // where the model last had it still moves it.
    binder->form_.focus = binder->shown_.focus = b->control->name;
}

void FormBinder::UpdatePointer() {
    // The pointer changes at once when it stands over this window, not at the next move.
    POINT at{};
    GetCursorPos(&at);
    HWND under = WindowFromPoint(at);
    if (under && GetAncestor(under, GA_ROOT) == window_)
        SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void FormBinder::SetOverridePointer(MousePointer pointer) {
    OverridePointer() = pointer;
    HCURSOR cursor = CursorFor(pointer);
    if (cursor) {
        SetCursor(cursor);
        return;
    }
    for (FormBinder* binder : Live())
        if (binder->window_) binder->UpdatePointer();
}

void PumpMessages(const std::function<bool()>& done, bool wait) {
    MSG msg;
    while (!done()) {
        if (wait) {
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
                return;
            }
        } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            return;
        } else if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!FormBinder::PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        FormBinder::NoteFocus();
    }
}

}  // namespace kolvik::win32
