// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/FormBinder.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/Drawing.h"
#include "platform/win32/ResourceIds.h"
#include "platform/win32/Text.h"

namespace kolvik::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"KolvikForm";
constexpr wchar_t kPictureClass[] = L"KolvikPicture";
constexpr wchar_t kLabelClass[] = L"KolvikLabel";
constexpr DWORD kMainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// A button draws itself when it shows a picture or a face colour of its own: the system's
// buttons have neither.
bool OwnerDrawn(const Control& c) {
    return c.kind == ControlKind::Button && (!c.picture.empty() || c.backColor.has_value());
}

}  // namespace

std::vector<FormBinder*>& FormBinder::Live() {
    static std::vector<FormBinder*> live;
    return live;
}

FormBinder::FormBinder(Form& form, HWND owner) : form_(form), owner_(owner) {
    RegisterClasses();
    window_ = CreateWindowExW(owner ? WS_EX_DLGMODALFRAME : 0, kFormClass, L"",
                              owner ? kDialogStyle : kMainStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                              GetModuleHandleW(nullptr), this);
    dpi_ = window_ ? static_cast<int>(GetDpiForWindow(window_)) : kBaseDpi;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    const std::vector<Control*> controls = form_.Controls();
    bindings_.reserve(controls.size());
    for (Control* control : controls) {
        bindings_.push_back({control, nullptr, *control, nullptr});
        CreateControl(bindings_.back());
    }
    Live().push_back(this);
    Sync();
}

FormBinder::~FormBinder() {
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    for (HWND w : disabled_)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    for (Binding& b : bindings_)
        if (b.font) DeleteObject(b.font);
    for (auto& [name, bitmap] : pictures_)
        if (bitmap) DeleteObject(bitmap);
    for (auto& [color, brush] : brushes_) DeleteObject(brush);
}

void FormBinder::RegisterClasses() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&init);
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW form{};
        form.cbSize = sizeof(form);
        form.lpfnWndProc = WindowProc;
        form.hInstance = instance;
        form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        form.hIcon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(KOLVIK_ICON), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        form.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(KOLVIK_ICON),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), 0));
        form.lpszClassName = kFormClass;
        RegisterClassExW(&form);
        WNDCLASSEXW picture{};
        picture.cbSize = sizeof(picture);
        picture.lpfnWndProc = PictureProc;
        picture.hInstance = instance;
        picture.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        picture.lpszClassName = kPictureClass;
        RegisterClassExW(&picture);
        WNDCLASSEXW label = picture;
        label.lpfnWndProc = LabelProc;
        label.lpszClassName = kLabelClass;
        RegisterClassExW(&label);
        return true;
    }();
    (void)done;
}

HWND FormBinder::ControlWindow(const std::string& controlName) const {
    for (const Binding& b : bindings_)
        if (b.control->name == controlName) return b.hwnd;
    return nullptr;
}

void FormBinder::CreateControl(Binding& b) {
    const Control& c = *b.control;
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD, exStyle = 0;
    switch (c.kind) {
        case ControlKind::Line:
            return;  // painted by the form, under every control
        case ControlKind::Label:
            // Painted here rather than by STATIC: the form's lines show through around the text.
            cls = kLabelClass;
            break;
        case ControlKind::TextBox:
            cls = L"EDIT";
            style |= ES_AUTOHSCROLL | (c.passwordChar ? ES_PASSWORD : 0);
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            cls = L"BUTTON";
            style |= OwnerDrawn(c) ? BS_OWNERDRAW : BS_PUSHBUTTON;
            break;
        case ControlKind::CheckBox:
            cls = L"BUTTON";
            style |= BS_AUTOCHECKBOX;
            break;
        case ControlKind::Picture:
            cls = kPictureClass;
            break;
    }
    // The id is the control's place in the list, plus one: WM_COMMAND names it.
    const auto id = static_cast<std::size_t>(&b - bindings_.data()) + 1;
    b.hwnd = CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, 0, window_,
                             reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr), nullptr);
    if (c.kind == ControlKind::TextBox && c.passwordChar)
        SendMessageW(b.hwnd, EM_SETPASSWORDCHAR, L'*', 0);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(b.hwnd);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void FormBinder::Show() {
    Sync();
    if (form_.unloaded || !window_ || placed_) return;
    Place();
}

void FormBinder::Place() {
    placed_ = true;
    if (modal_) {
        for (FormBinder* other : Live()) {
            if (other == this || !other->window_ || !IsWindowEnabled(other->window_)) continue;
            EnableWindow(other->window_, FALSE);
            disabled_.push_back(other->window_);
        }
    }
    // Centred on the owner's monitor, or on the one the window would open on.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(owner_ ? owner_ : window_, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    RECT frame{};
    GetWindowRect(window_, &frame);
    const RECT& work = monitor.rcWork;
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    // The focus goes where the model has it, now that the window can take it.
    shown_.focus.clear();
    Sync();
}

void FormBinder::SyncAll() {
    // By index: an unload handler may open or close another binder.
    auto& live = Live();
    for (std::size_t i = 0; i < live.size(); ++i) live[i]->Sync();
}

HWND FormBinder::NewestWindow() {
    const auto& live = Live();
    for (auto it = live.rbegin(); it != live.rend(); ++it)
        if ((*it)->window_ && IsWindowVisible((*it)->window_)) return (*it)->window_;
    return nullptr;
}

void FormBinder::Layout() {
    // The client area at this DPI, the frame around it at the same DPI.
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    RECT rc{0, 0, TwipsToPixels(form_.clientWidth, dpi_), TwipsToPixels(form_.clientHeight, dpi_)};
    AdjustWindowRectExForDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi_));
    SetWindowPos(window_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (auto& [name, bitmap] : pictures_)
        if (bitmap) DeleteObject(bitmap);
    pictures_.clear();
    for (Binding& b : bindings_) {
        if (b.hwnd) {
            const PixelRect r = ControlRect(b.control->place, dpi_);
            MoveWindow(b.hwnd, r.left, r.top, r.Width(), r.Height(), TRUE);
            ApplyFont(b);
            b.shown.place = b.control->place;
        }
    }
    InvalidateRect(window_, nullptr, TRUE);
}

void FormBinder::ApplyFont(Binding& b) {
    HFONT old = b.font;
    const Control& c = *b.control;
    b.font = c.fitText && c.kind == ControlKind::Label ? FittedLabelFont(b.hwnd, c, dpi_)
                                                       : ControlFont(c, dpi_);
    SendMessageW(b.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(b.font), TRUE);
    if (old) DeleteObject(old);
}

void FormBinder::Sync() {
    if (!window_) return;
    const FormChanges changes = TakeFormChanges(form_, shown_);
    if (changes.caption) SetWindowTextW(window_, Wide(form_.caption).c_str());
    if (changes.size) Layout();
    if (changes.pointer) UpdatePointer();
    bool repaintLines = false;
    for (Binding& b : bindings_) {
        if (b.control->kind != ControlKind::Line) {
            Apply(b, changes.all);
            continue;
        }
        // Lines are painted by the form itself: any change repaints it.
        const ControlChanges ch = TakeChanges(*b.control, b.shown, changes.all);
        repaintLines = repaintLines || ch.place || ch.lineWidth || ch.colors || ch.visible;
    }
    if (repaintLines)
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    // Focus last: the control that gets it may just have been enabled or shown.
    if (form_.focus != shown_.focus && !ButtonHeld() && IsWindowVisible(window_)) {
        shown_.focus = form_.focus;
        if (HWND target = ControlWindow(form_.focus)) SetFocus(target);
    }
    if (form_.unloaded && !unloadReported_) {
        Close();
    } else if (form_.shown && !placed_ && !form_.unloaded) {
        Place();
    }
}

bool FormBinder::ButtonHeld() const {
    // It keeps the focus until it is released, or its press would be lost.
    HWND held = GetCapture();
    return held && GetParent(held) == window_ &&
           (SendMessageW(held, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
}

void FormBinder::Close() {
    unloadReported_ = true;
    // The windows this one disabled come back first, so that the owner is activated again.
    for (HWND w : disabled_)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    disabled_.clear();
    if (owner_ && IsWindow(owner_)) SetActiveWindow(owner_);
    HWND gone = window_;
    window_ = nullptr;
    SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
    DestroyWindow(gone);
    if (onUnload_) onUnload_();
}

void FormBinder::Apply(Binding& b, bool all) {
    const Control& c = *b.control;
    // A text box is compared with what it holds: what the user typed is already in the model.
    if (c.kind == ControlKind::TextBox) b.shown.text = WindowText(b.hwnd);
    const ControlChanges ch = TakeChanges(c, b.shown, all);
    if (ch.place) {
        const PixelRect r = ControlRect(c.place, dpi_);
        MoveWindow(b.hwnd, r.left, r.top, r.Width(), r.Height(), TRUE);
    }
    if (ch.text) SetWindowTextW(b.hwnd, Wide(c.text).c_str());
    if (ch.value) SendMessageW(b.hwnd, BM_SETCHECK, c.value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    if (ch.tooltip) {
        std::wstring tip = Wide(c.tooltip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(b.hwnd);
        tool.lpszText = tip.data();
        SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // Labels, pictures and owner-drawn buttons paint their own picture, colours and text.
    if (ch.font || ch.refit) ApplyFont(b);
    if (ch.picture || ch.font || ch.colors) InvalidateRect(b.hwnd, nullptr, TRUE);
    if (ch.enabled) EnableWindow(b.hwnd, c.enabled ? TRUE : FALSE);
    if (ch.visible) ShowWindow(b.hwnd, c.visible ? SW_SHOWNA : SW_HIDE);
}

std::string WindowText(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(n));
    return Utf8(text);
}

HBITMAP FormBinder::Picture(const std::string& name) {
    const auto it = pictures_.find(name);
    if (it != pictures_.end()) return it->second;
    HBITMAP bitmap = LoadPicture(name, dpi_);
    pictures_.emplace(name, bitmap);
    return bitmap;
}

HBRUSH FormBinder::BackBrush(const std::optional<Rgb>& color) {
    const COLORREF ref = color ? ToColorRef(*color) : FormBack();
    HBRUSH& brush = brushes_[ref];
    if (!brush) brush = CreateSolidBrush(ref);
    return brush;
}

COLORREF FormBinder::FormBack() const {
    return form_.backColor ? ToColorRef(*form_.backColor) : GetSysColor(COLOR_BTNFACE);
}

void FormBinder::PaintLines(HDC dc) {
    for (const Binding& b : bindings_) {
        const Control& c = *b.control;
        if (c.kind != ControlKind::Line || !c.visible) continue;
        const LinePixels l = LineAt(c, dpi_);
        const LOGBRUSH brush{
            BS_SOLID, c.foreColor ? ToColorRef(*c.foreColor) : GetSysColor(COLOR_WINDOWTEXT), 0};
        // Square caps reach past the ends, so the lines of a frame meet at its corners.
        HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_MITER,
                                static_cast<DWORD>(l.width), &brush, 0, nullptr);
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, l.x1, l.y1, nullptr);
        LineTo(dc, l.x2, l.y2);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void FormBinder::PaintPicture(HWND hwnd, HDC dc) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, BackBrush(std::nullopt));
    Binding* b = nullptr;
    if (Owning(hwnd, &b) == this && b) DrawPicture(dc, Picture(b->control->picture), 0, 0);
}

void FormBinder::PaintLabel(HWND hwnd, HDC dc) {
    Binding* b = nullptr;
    if (Owning(hwnd, &b) != this || !b) return;
    const Control& c = *b->control;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, BackBrush(c.backColor));
    if (!c.backColor) {
        // A label without a colour of its own lets a line it stands on show beside its text.
        POINT origin{0, 0};
        MapWindowPoints(hwnd, window_, &origin, 1);
        SetWindowOrgEx(dc, origin.x, origin.y, nullptr);
        PaintLines(dc);
        SetWindowOrgEx(dc, 0, 0, nullptr);
    }
    const std::wstring text = Wide(c.text);
    HGDIOBJ old = SelectObject(dc, b->font);
    SetTextColor(dc, c.foreColor ? ToColorRef(*c.foreColor)
                                 : GetSysColor(c.enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    SetBkColor(dc, c.backColor ? ToColorRef(*c.backColor) : FormBack());
    SetBkMode(dc, OPAQUE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
              DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
}

void FormBinder::DrawButton(const DRAWITEMSTRUCT& item) {
    const auto index = static_cast<std::size_t>(item.CtlID) - 1;
    if (index >= bindings_.size()) return;
    const Control& c = *bindings_[index].control;
    SelectObject(item.hDC, bindings_[index].font);
    DrawPushButton(item, Wide(c.text), Picture(c.picture),
                   c.backColor ? ToColorRef(*c.backColor) : GetSysColor(COLOR_BTNFACE),
                   c.backColor.has_value(), dpi_);
}

}  // namespace kolvik::win32
