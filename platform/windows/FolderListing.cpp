// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows folder's entries, and the leftovers of killed runs among them. Every call goes
// through the FileCalls table.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SafeFile.h"
#include "platform/SafeFileRules.h"
#include "platform/windows/SafeFileParts.h"
#include "platform/windows/Utf16.h"

namespace kolvik::safefile {

using windows::Sys;

Fault Folder::List(std::vector<std::string>& files, std::vector<std::string>& folders,
                   std::vector<std::string>* scratch, std::vector<bool>* regular) const {
    Listing listed(files, folders, scratch, regular);
    // Listed through the folder's own handle, from its start each time.
    std::vector<std::uint8_t> buffer(std::size_t{64} << 10);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!Sys().infoEx(handle_, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            if (::GetLastError() == ERROR_NO_MORE_FILES) break;
            return LastFault();
        }
        kind = FileIdBothDirectoryInfo;
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::wstring wide(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (wide != L"." && wide != L"..") {
                const std::string name = windows::Utf8(wide);
                const DWORD a = entry->FileAttributes;
                const bool isFolder =
                    (a & FILE_ATTRIBUTE_DIRECTORY) != 0 && (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
                if (!isFolder && IsScratchName(name)) {
                    listed.AddScratch(name);
                } else if (isFolder) {
                    listed.AddFolder(name);
                } else {
                    // A reparse point (link, junction, placeholder) or a device is not one.
                    constexpr DWORD kNotRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                                                  FILE_ATTRIBUTE_REPARSE_POINT;
                    listed.AddFile(name, (a & kNotRegular) == 0);
                }
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    listed.Finish();
    return Fault::None;
}

void Folder::RemoveLeftoverScratch(const std::string& name) const {
    if (!IsScratchName(name)) return;
    // A live run holds its copy open without sharing, so opening it fails until that run has
    // closed it: only a killed run's leftover goes, overwritten first, as it may hold plain
    // text (a copy being decrypted, an original being overwritten).
    HANDLE h = OpenEntry(handle_, name, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                         FILE_NON_DIRECTORY_FILE);
    FileFacts facts;
    if (h != nullptr) {
        if (FactsOf(h, facts) == Fault::None && facts.regular && !facts.multiplyLinked) {
            (void)ZeroHandle(h, facts.size);
            (void)DeleteByHandle(h);
        }
        Sys().close(h);
        return;
    }
    // A read-only leftover is removed all the same.
    if (Stat(name, facts) != Fault::None || !facts.regular) return;
    (void)Remove(name, facts.inode);
}

}  // namespace kolvik::safefile
