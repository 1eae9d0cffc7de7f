// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/Drawing.h"

#include <wincodec.h>

#include <algorithm>
#include <vector>

#include "platform/win32/Layout.h"
#include "platform/win32/Text.h"

namespace kolvik::win32 {

namespace {

bool HasFamily(const wchar_t* name) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, name, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(
        dc, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

struct Family {
    const wchar_t* name;
    double scale;  // to look as large as the plain face beside it
};

// Microsoft Sans Serif has the widths the layout was drawn for; the others are near them.
const Family& SansFamily() {
    static const Family family = [] {
        for (const Family& f : {Family{L"Microsoft Sans Serif", 1.0}, Family{L"Arial", 1.0},
                                Family{L"Liberation Sans", 1.0}, Family{L"Nimbus Sans", 1.0}})
            if (HasFamily(f.name)) return f;
        return Family{L"Tahoma", 1.0};
    }();
    return family;
}

// A decorative face for the password captions and the statistics heading; nullptr when the
// system has none, and the plain face is set in italics instead.
const Family* ScriptFamily() {
    static const Family* family = [] {
        static const Family candidates[] = {{L"Monotype Corsiva", 1.5},
                                            {L"Segoe Script", 1.1},
                                            {L"Lucida Handwriting", 1.1},
                                            {L"Z003", 1.6},
                                            {L"URW Chancery L", 1.6}};
        for (const Family& f : candidates)
            if (HasFamily(f.name)) return &f;
        return static_cast<const Family*>(nullptr);
    }();
    return family;
}

template <class T>
void Release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

COLORREF ToColorRef(const Rgb& rgb) { return RGB(rgb.r, rgb.g, rgb.b); }

HFONT ControlFont(const Control& control, int dpi, double pointsScale) {
    LOGFONTW lf{};
    double points = kBasePoints * pointsScale;
    const Family* family = &SansFamily();
    if (control.face == FontFace::Script) {
        if (const Family* script = ScriptFamily()) {
            family = script;
            points *= script->scale;
        } else {
            lf.lfItalic = TRUE;  // still set apart from the plain labels
        }
    }
    lf.lfHeight = FontHeight(points, dpi);
    lf.lfWeight = control.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, family->name, LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

HFONT FittedLabelFont(HWND label, const Control& control, int dpi) {
    constexpr double kSmallest = 6.0, kStep = 0.25;
    RECT area{};
    GetClientRect(label, &area);
    const std::wstring text = Wide(control.text);
    HDC dc = GetDC(label);
    HFONT font = nullptr;
    for (double points = kBasePoints;; points -= kStep) {
        if (font) DeleteObject(font);
        font = ControlFont(control, dpi, points / kBasePoints);
        RECT need = area;
        HGDIOBJ old = SelectObject(dc, font);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
        SelectObject(dc, old);
        if (need.bottom - need.top <= area.bottom - area.top || points - kStep < kSmallest) break;
    }
    ReleaseDC(label, dc);
    return font;
}

HBITMAP LoadPicture(const std::string& name, int dpi) {
    if (name.empty()) return nullptr;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, Wide(name).c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    auto* bytes = static_cast<BYTE*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, found);
    if (!bytes || size == 0) return nullptr;

    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapScaler* scaler = nullptr;
    IWICFormatConverter* converter = nullptr;
    HBITMAP bitmap = nullptr;
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(bytes, size)) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnLoad,
                                                   &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
        SUCCEEDED(factory->CreateBitmapScaler(&scaler))) {
        // The pictures are drawn for 96 dpi.
        const UINT w = ScaleFrom96(static_cast<int>(width), dpi);
        const UINT h = ScaleFrom96(static_cast<int>(height), dpi);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = static_cast<LONG>(w);
        info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        if (SUCCEEDED(scaler->Initialize(frame, w, h, WICBitmapInterpolationModeFant)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(scaler, GUID_WICPixelFormat32bppPBGRA,
                                            WICBitmapDitherTypeNone, nullptr, 0.0,
                                            WICBitmapPaletteTypeCustom)) &&
            (bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0))) {
            if (FAILED(
                    converter->CopyPixels(nullptr, w * 4, w * h * 4, static_cast<BYTE*>(bits)))) {
                DeleteObject(bitmap);
                bitmap = nullptr;
            }
        }
    }
    Release(converter);
    Release(scaler);
    Release(frame);
    Release(decoder);
    Release(stream);
    Release(factory);
    return bitmap;
}

void DrawPicture(HDC dc, HBITMAP bitmap, int x, int y) {
    if (!bitmap) return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, info.bmWidth, info.bmHeight, source, 0, 0, info.bmWidth, info.bmHeight,
               blend);
    SelectObject(source, old);
    DeleteDC(source);
}

void DrawPushButton(const DRAWITEMSTRUCT& item, const std::wstring& caption, HBITMAP picture,
                    COLORREF face, bool customFace, int dpi) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(dc, &rc, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    const int edge = ScaleFrom96(2, dpi);
    RECT inner{rc.left + edge, rc.top + edge, rc.right - edge, rc.bottom - edge};
    if (customFace) {
        HBRUSH brush = CreateSolidBrush(face);
        FillRect(dc, &inner, brush);
        DeleteObject(brush);
    }
    const int shift = pushed ? ScaleFrom96(1, dpi) : 0;
    SIZE textSize{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &textSize);
    int top = 0;
    if (picture) {
        BITMAP info{};
        GetObjectW(picture, sizeof(info), &info);
        // Picture above caption, the two together centred in the button.
        const int gap = ScaleFrom96(2, dpi);
        const int total = info.bmHeight + gap + textSize.cy;
        top =
            inner.top + std::max(0, static_cast<int>(inner.bottom - inner.top - total) / 2) + shift;
        const int x = inner.left + (inner.right - inner.left - info.bmWidth) / 2 + shift;
        DrawPicture(dc, picture, x, top);
        top += info.bmHeight + gap;
    } else {
        top = inner.top + (inner.bottom - inner.top - textSize.cy) / 2 + shift;
    }
    RECT text{inner.left + shift, top, inner.right + shift, top + textSize.cy};
    SetBkMode(dc, TRANSPARENT);
    if (disabled) {
        // Etched, as the system draws a disabled caption.
        RECT light = text;
        OffsetRect(&light, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, caption.c_str(), -1, &light, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    }
    DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = inner;
        InflateRect(&focus, -ScaleFrom96(1, dpi), -ScaleFrom96(1, dpi));
        DrawFocusRect(dc, &focus);
    }
}

}  // namespace kolvik::win32
