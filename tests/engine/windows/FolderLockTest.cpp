// SPDX-License-Identifier: GPL-3.0-or-later
// Another run holds the folder by its lock file, open without sharing: the files wait for it,
// then are left, and nothing is written beside them. That a run's own lock file goes with it
// every exact tree after a run on Windows shows.
#include <gtest/gtest.h>

#include "EngineKit.h"
#include "platform/windows/Utf16.h"
// After Helpers.h: windows.h defines Yield as a macro, which the window's Yield would meet.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

TEST(FolderHeld, ByAnotherRunsLockFileItsFilesAreLeft) {
    TempDir target;
    WriteFile(target / "a.txt", "a inhoud");
    HANDLE held =
        ::CreateFileW(windows::LongPath(target / ".kolvik-slot").c_str(), GENERIC_WRITE | DELETE, 0,
                      nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Engine w;
    w.Encrypt(target.path());
    EXPECT_EQ(w.events.left, (Left{{target / "a.txt", LeftReason::HeldByOtherRun}}));
    ::CloseHandle(held);
    EXPECT_EQ(Snapshot(target.path()), (Tree{{"a.txt", "file:a inhoud"}}));
}

}  // namespace
}  // namespace kolvik::test
