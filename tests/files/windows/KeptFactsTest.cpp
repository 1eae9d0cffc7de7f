// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy keeps of its original on Windows, and what the share mode of a file in work
// does to other programs.
#include <gtest/gtest.h>

#include <filesystem>

#include "Helpers.h"
#include "platform/windows/Utf16.h"
// After Helpers.h: windows.h defines Yield as a macro, which the window's Yield would meet.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

DWORD Attributes(const std::string& path) {
    return ::GetFileAttributesW(windows::LongPath(path).c_str());
}

TEST(KeptFacts, AttributesAndTimeToTheTick) {
    TempDir target;
    WriteFile(target / "nodot", "inhoud");
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(::SetFileAttributesW(windows::LongPath(target / "nodot").c_str(), kept));
    // 100 ns is the step Windows keeps times in.
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1600000000) +
                                                            std::chrono::nanoseconds(123456700));
    SetMtime(target / "nodot", when);
    const auto modified = std::filesystem::last_write_time(target / "nodot");
    Window w;
    w.Encrypt(target.path());
    EXPECT_EQ(Attributes(target / "nodot"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Attributes(target / "nodot_.kol") & (kept | FILE_ATTRIBUTE_READONLY), kept);
    EXPECT_EQ(std::filesystem::last_write_time(target / "nodot_.kol"), modified);
}

// A file another program has open for writing is left, reported in use, and not touched.
TEST(KeptFacts, AFileOpenForWritingElsewhereIsLeftInUse) {
    TempDir target;
    WriteFile(target / "open.txt", "wordt geschreven");
    WriteFile(target / "free.txt", "vrij");
    HANDLE writer = ::CreateFileW(windows::LongPath(target / "open.txt").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    Window w;
    w.Encrypt(target.path());
    ::CloseHandle(writer);
    EXPECT_EQ(w.left, (Left{{target / "open.txt", LeftReason::InUse}}));
    EXPECT_EQ(Snapshot(target.path()),
              (Tree{{"open.txt", "file:wordt geschreven"},
                    {"free_txt.kol", Snapshot(target.path()).at("free_txt.kol")}}));
}

}  // namespace
}  // namespace kolvik::test
