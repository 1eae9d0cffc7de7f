// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/WindowsServices.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/windows/WideText.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik {
namespace {

using win::Utf8;
using win::Wide;

SYSTEMTIME LocalTime(WallClock::time_point t) {
    // FILETIME counts 100 ns from 1601; the system clock counts from 1970.
    constexpr std::int64_t kFrom1601 = 116444736000000000LL;
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
            t.time_since_epoch())
            .count() +
        kFrom1601;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME system{}, local{};
    FileTimeToSystemTime(&utc, &system);
    SystemTimeToTzSpecificLocalTime(nullptr, &system, &local);
    return local;
}

std::string FromBuffer(const wchar_t* buffer, int written) {
    return written > 1 ? Utf8(std::wstring(buffer, static_cast<std::size_t>(written - 1))) : "";
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Whether a new file may be made in the folder; the folder's attributes say nothing of its
// access list, and a program folder under Program Files is refused to a standard user.
bool MayWriteIn(const std::wstring& folder) {
    const std::wstring probe =
        folder + L"\\kolvik-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::wstring Variable(const wchar_t* name) {
    const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), n));
    return value;
}

}  // namespace

std::string UserRegional::TimeOfDay(WallClock::time_point t) {
    const SYSTEMTIME local = LocalTime(t);
    wchar_t buffer[128];
    return FromBuffer(buffer,
                      GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, buffer, 128));
}

std::string UserRegional::ShortDate(WallClock::time_point t) {
    const SYSTEMTIME local = LocalTime(t);
    wchar_t buffer[128];
    return FromBuffer(buffer, GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local,
                                              nullptr, buffer, 128, nullptr));
}

std::string UserRegional::DecimalSeparator() {
    wchar_t buffer[8];
    const std::string separator =
        FromBuffer(buffer, GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8));
    return separator.empty() ? "." : separator;
}

ShellLauncher::ShellLauncher(Registry& registry, std::string windowsFolder)
    : registry_(registry), windowsFolder_(std::move(windowsFolder)) {}

void ShellLauncher::OpenForViewing(ViewKind kind, const std::string& path) {
    switch (kind) {
        case ViewKind::Text:
            // Notepad takes the rest of its command line as the path, spaces and all.
            (void)StartProgram(windowsFolder_ + "\\notepad.exe " + path);
            return;
        case ViewKind::Document:
            if (!OpenInWord(path)) (void)OpenDocument(path);
            return;
        case ViewKind::Pdf:
            OpenPdf(path);
            return;
    }
}

void ShellLauncher::OpenPdf(const std::string& path) {
    std::optional<std::string> command;
    if (registry_.RegRead("HKEY_CLASSES_ROOT\\.pdf\\") == "FoxitReader.Document")
        command =
            registry_.RegRead("HKEY_CLASSES_ROOT\\FoxitReader.Document\\shell\\open\\command\\");
    if (!command) {
        (void)OpenDocument(path);
        return;
    }
    // The registered command ends in its file placeholder, mostly a quoted %1; one too short
    // to hold it is taken as it is.
    if (command->size() >= 4) command->resize(command->size() - 4);
    (void)StartProgram(*command + " \"" + path + "\"");
}

bool ShellLauncher::OpenInWord(const std::string&) { return false; }

bool ShellLauncher::OpenDocument(const std::string& path) {
    const std::wstring file = Wide(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWMAXIMIZED;
    return ShellExecuteExW(&info) != FALSE;
}

bool ShellLauncher::StartProgram(const std::string& commandLine) {
    std::wstring line = Wide(commandLine);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

namespace {

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::size_t BlanksFrom(const std::wstring& line, std::size_t at) {
    while (at < line.size() && Blank(line[at])) ++at;
    return at;
}

// Where the arguments begin: after the program's name and the blanks that follow it.
std::size_t ArgumentsStart(const std::wstring& commandLine) {
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        at = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        while (at < commandLine.size() && !Blank(commandLine[at])) ++at;
    }
    return BlanksFrom(commandLine, at);
}

// Where the path after the open command's mark begins, or 0 without the mark. That command
// always gives a path: a mark with nothing after it is taken as the path, as any other text.
std::size_t PathAfterOpenMark(const std::wstring& commandLine) {
    const std::size_t at = ArgumentsStart(commandLine);
    const std::wstring mark = Wide(std::string(kOpenCommandMark));
    const std::size_t end = at + mark.size();
    if (commandLine.compare(at, mark.size(), mark) != 0 || end == commandLine.size() ||
        !Blank(commandLine[end]))
        return 0;
    const std::size_t path = BlanksFrom(commandLine, end);
    return path < commandLine.size() ? path : 0;
}

}  // namespace

bool OpenCommandLine(const std::wstring& commandLine) {
    return PathAfterOpenMark(commandLine) != 0;
}

std::string ArgumentsOf(const std::wstring& commandLine) {
    const std::size_t path = PathAfterOpenMark(commandLine);
    std::wstring rest = commandLine.substr(path != 0 ? path : ArgumentsStart(commandLine));
    // cmd, Explorer's drag and drop and shortcuts quote a path with spaces: one pair of quotes
    // around the whole (blanks after it aside) is not part of the path.
    const std::size_t last = rest.find_last_not_of(L" \t");
    if (rest.size() >= 2 && rest[0] == L'"' && last != std::wstring::npos && last > 0 &&
        rest[last] == L'"') {
        rest = rest.substr(1, last - 1);
    }
    return Utf8(rest);
}

std::string WindowsFolder() { return Utf8(Variable(L"SystemRoot")); }

ProcessFacts ReadProcessFacts() {
    ProcessFacts facts;
    facts.commandLine = ArgumentsOf(GetCommandLineW());
    // Windows keeps the quotes: an empty argument arrives as "" and is refused as a path.
    facts.argumentGiven = !facts.commandLine.empty();
    const std::wstring exe = ModulePath();
    const std::size_t slash = exe.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : exe.substr(0, slash);
    facts.programFolder = Utf8(folder);
    facts.exeName = Utf8(exe.substr(slash == std::wstring::npos ? 0 : slash + 1));
    BOOL wow64 = FALSE;
    facts.systemFolderRedirected = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
    if (MayWriteIn(folder)) {
        facts.dataFolder = facts.programFolder;
    } else {
        std::wstring data = Variable(L"LOCALAPPDATA");
        if (data.empty()) data = Variable(L"TEMP");
        data += L"\\Kolvik";
        CreateDirectoryW(data.c_str(), nullptr);
        facts.dataFolder = Utf8(data);
    }
    // In process order; the hidden "=C:=C:\..." entries of the current folders are left out,
    // as the C runtime's environment leaves them out.
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1)
            if (entry[0] != L'=') facts.environment.push_back(Utf8(entry));
        FreeEnvironmentStringsW(block);
    }
    return facts;
}

}  // namespace kolvik
