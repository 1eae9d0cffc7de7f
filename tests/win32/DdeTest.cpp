// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's DDE conversation with a window started on a file: answered once, so that the
// shell asks no running Kolvik to open another file but starts one on it.
#include <gtest/gtest.h>

#include "platform/win32/DdeAnswer.h"
// After our headers: windows.h defines Yield as a macro.
#include <dde.h>

namespace kolvik::win32 {
namespace {

int gAcks = 0;
DdeName gName;

LRESULT CALLBACK ServerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (AnswerDde(hwnd, gName, msg, wParam, lParam)) return 0;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DDE_ACK) {
        ++gAcks;
        GlobalDeleteAtom(LOWORD(lParam));
        GlobalDeleteAtom(HIWORD(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Message-only windows: no display is needed.
HWND MakeWindow(const wchar_t* kind, WNDPROC proc) {
    WNDCLASSW c{};
    c.lpfnWndProc = proc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = kind;
    RegisterClassW(&c);
    return CreateWindowW(kind, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);
}

// Asks server, as the shell does, for the open command's application and topic; true when it
// acknowledged.
bool Initiate(HWND server, HWND client, const wchar_t* application) {
    const int before = gAcks;
    const ATOM app = GlobalAddAtomW(application), topic = GlobalAddAtomW(L"System");
    SendMessageW(server, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(client), MAKELPARAM(app, topic));
    GlobalDeleteAtom(app);
    GlobalDeleteAtom(topic);
    return gAcks > before;
}

TEST(Dde, OneConversationIsAnsweredAndNoLaterOne) {
    HWND server = MakeWindow(L"KolvikDdeTestServer", ServerProc);
    HWND client = MakeWindow(L"KolvikDdeTestClient", ClientProc);
    ASSERT_NE(server, nullptr);
    ASSERT_NE(client, nullptr);
    // Started without a path: nothing to answer for.
    EXPECT_FALSE(Initiate(server, client, L"Kolvik"));
    gName = {L"Kolvik", L"System"};
    EXPECT_FALSE(Initiate(server, client, L"Word"));
    EXPECT_TRUE(Initiate(server, client, L"kolvik"));  // names ignore letter case
    // The shell ends the conversation; the next file must not be asked of this window.
    SendMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(client), 0);
    EXPECT_FALSE(Initiate(server, client, L"Kolvik"));
    DestroyWindow(client);
    DestroyWindow(server);
}

}  // namespace
}  // namespace kolvik::win32
