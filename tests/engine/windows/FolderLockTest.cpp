// SPDX-License-Identifier: GPL-3.0-or-later
// Another run holds the folder by its lock file, open without sharing: the files wait for it,
// then are left; once it lets go, a run works there and its own lock file goes with it.
#include <gtest/gtest.h>

#include "EngineKit.h"
#include "Reference.h"
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
    Engine first;
    first.Encrypt(target.path());
    EXPECT_EQ(first.events.left, (Left{{target / "a.txt", LeftReason::HeldByOtherRun}}));
    EXPECT_EQ(ReadFile(target / "a.txt"), "a inhoud");
    ::CloseHandle(held);
    Engine second;
    second.Encrypt(target.path());
    EXPECT_TRUE(second.events.left.empty());
    EXPECT_EQ(Snapshot(target.path()), (Tree{{"a_txt.kol", RefKolEntry("txt", "a inhoud")}}));
}

}  // namespace
}  // namespace kolvik::test
