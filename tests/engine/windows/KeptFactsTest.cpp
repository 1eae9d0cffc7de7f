// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy keeps of its original on Windows, and what the share mode of a file in work
// does to other programs.
#include <gtest/gtest.h>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "Reference.h"
#include "platform/windows/Utf16.h"
// After Helpers.h: windows.h defines Yield as a macro, which the window's Yield would meet.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

WIN32_FILE_ATTRIBUTE_DATA Facts(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    ::GetFileAttributesExW(windows::LongPath(path).c_str(), GetFileExInfoStandard, &facts);
    return facts;
}

DWORD Attributes(const std::string& path) { return Facts(path).dwFileAttributes; }

// In 100 ns steps from 1601.
std::uint64_t Ticks(const FILETIME& t) {
    return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

void SetReadOnly(const std::string& path, bool on) {
    const DWORD a = Attributes(path) & ~DWORD{FILE_ATTRIBUTE_READONLY};
    ::SetFileAttributesW(windows::LongPath(path).c_str(),
                         on ? a | FILE_ATTRIBUTE_READONLY : (a ? a : FILE_ATTRIBUTE_NORMAL));
}

// A read-only file goes both ways like any other and keeps the attribute; no scratch copy
// stays, and one that a killed run left read-only is cleaned up. Each copy is given its
// original's creation time (Wine accepts it and forgets it, so the call is what is checked),
// its other attributes, and its modification time to the tick (100 ns, the step Windows keeps).
TEST(KeptFacts, AttributesTimesAndReadOnlyFilesRoundTrip) {
    TempDir target;
    WriteFile(target / "ro.txt", "alleen lezen");
    WriteFile(target / "rw.txt", "gewoon");
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(::SetFileAttributesW(windows::LongPath(target / "rw.txt").c_str(), kept));
    SetMtime(target / "rw.txt",
             std::chrono::system_clock::time_point(std::chrono::seconds(1600000000) +
                                                   std::chrono::nanoseconds(123456700)));
    const std::uint64_t modified = Ticks(Facts(target / "rw.txt").ftLastWriteTime);
    WriteFile(target / ".kolvik-tijdel-4000000000-1", "over van een gestopte run");
    SetReadOnly(target / ".kolvik-tijdel-4000000000-1", true);
    SetReadOnly(target / "ro.txt", true);
    const std::uint64_t created = Ticks(Facts(target / "ro.txt").ftCreationTime);
    ASSERT_NE(created, 0u);

    // Where the system cannot ignore the attribute in the deletion itself (before Windows 10
    // 1809), the attribute is taken off first; the copy still gets it. The first deletion is
    // refused for the attribute; the second asks to ignore it and is taken as not understood.
    Engine one;
    {
        FaultPlan plan{.kind = Call::Unlink, .failAt = 2, .error = EINVAL};
        FaultInjection watch(plan);
        one.RunFile(target.path(), "ro.txt", false);
        EXPECT_EQ(plan.createdGiven, created);
        EXPECT_EQ(plan.Seen(Call::Unlink), 3);
    }
    Engine w;
    w.Encrypt(target.path());
    EXPECT_TRUE(one.events.left.empty());
    EXPECT_TRUE(w.events.left.empty());
    EXPECT_EQ(one.stats.FilesDone + w.stats.FilesDone, 2);
    EXPECT_EQ(Snapshot(target.path()), (Tree{{"ro_txt.kol", RefKolEntry("txt", "alleen lezen")},
                                             {"rw_txt.kol", RefKolEntry("txt", "gewoon")}}));
    EXPECT_TRUE(Attributes(target / "ro_txt.kol") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Attributes(target / "rw_txt.kol") & (kept | FILE_ATTRIBUTE_READONLY), kept);
    EXPECT_EQ(Ticks(Facts(target / "rw_txt.kol").ftLastWriteTime), modified);

    Engine back;
    back.Decrypt(target.path());
    EXPECT_TRUE(back.events.left.empty());
    EXPECT_EQ(Snapshot(target.path()),
              (Tree{{"ro.txt", "file:alleen lezen"}, {"rw.txt", "file:gewoon"}}));
    EXPECT_TRUE(Attributes(target / "ro.txt") & FILE_ATTRIBUTE_READONLY);
    SetReadOnly(target / "ro.txt", false);
}

// Another program opening a file in work breaks its oplock: the file is given up whole, at the
// next read or at its deletion, and its copy goes. Wine grants no oplocks; the seam does here.
TEST(KeptFacts, ABrokenOplockGivesTheFileUp) {
    struct Case {
        const char* when;
        int atRead;
        bool atRename;
        bool left;
    };
    // The file spans three blocks of 1 MiB: a break during the first read shows at the second.
    const Case cases[] = {{"never", 0, false, false},
                          {"while read", 1, false, true},
                          {"once the copy is named", 0, true, true}};
    const std::string content = Bytes(3 << 20, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        TempDir target;
        WriteFile(target / "log.txt", content);
        Engine w;
        FaultPlan plan{.grantOplocks = true,
                       .breakOplocksAtRead = c.atRead,
                       .breakOplocksAtRename = c.atRename};
        WithFaults(plan, [&] { w.Encrypt(target.path()); });
        EXPECT_EQ(plan.oplocksGranted, 1);
        EXPECT_EQ(w.events.left, (c.left ? Left{{target / "log.txt", LeftReason::InUse}} : Left{}));
        EXPECT_EQ(Snapshot(target.path()),
                  (c.left ? Tree{{"log.txt", "file:" + content}}
                          : Tree{{"log_txt.kol", RefKolEntry("txt", content)}}));
    }
}

}  // namespace
}  // namespace kolvik::test
