// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/DdeAnswer.h"

#include <dde.h>

namespace kolvik::win32 {

namespace {

// An empty name in an initiation stands for any application or topic.
bool Names(ATOM atom, const std::wstring& name) {
    if (atom == 0) return true;
    wchar_t text[256] = {};
    GlobalGetAtomNameW(atom, text, 256);
    return lstrcmpiW(text, name.c_str()) == 0;
}

}  // namespace

bool AnswerDde(HWND server, DdeName& name, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (name.application.empty()) return false;
    auto* client = reinterpret_cast<HWND>(wParam);
    switch (msg) {
        case WM_DDE_INITIATE:
            if (client != server && Names(LOWORD(lParam), name.application) &&
                Names(HIWORD(lParam), name.topic)) {
                // The reply carries atoms of its own, which the client deletes.
                SendMessageW(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server),
                             MAKELPARAM(GlobalAddAtomW(name.application.c_str()),
                                        GlobalAddAtomW(name.topic.c_str())));
            }
            return true;
        case WM_DDE_EXECUTE: {
            // The path came on the command line; the command is acknowledged, not run.
            constexpr UINT kAccepted = 0x8000;
            if (!PostMessageW(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(server),
                              PackDDElParam(WM_DDE_ACK, kAccepted, static_cast<UINT_PTR>(lParam))))
                GlobalFree(reinterpret_cast<HGLOBAL>(lParam));
            return true;
        }
        case WM_DDE_TERMINATE:
            PostMessageW(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(server), 0);
            name = {};
            return true;
        default:
            return false;
    }
}

}  // namespace kolvik::win32
