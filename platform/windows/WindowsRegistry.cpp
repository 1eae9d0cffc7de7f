// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/WindowsRegistry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/windows/WideText.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik {

Flavor HostFlavor() { return Flavor::Windows; }

namespace {

using win::Utf8;
using win::Wide;

struct Name {
    HKEY root = nullptr;
    std::wstring subkey;
    std::wstring value;  // empty: the default value
};

// HKEY_CLASSES_ROOT shows the user's classes over the machine's. A standard user may write
// only the user's, so names under it are read from both, written to the user's when the
// machine's are refused, and deleted from both.
bool InClasses(const Name& n) { return n.root == HKEY_CLASSES_ROOT; }

std::wstring UserClasses(const std::wstring& subkey) {
    return subkey.empty() ? L"Software\\Classes" : L"Software\\Classes\\" + subkey;
}

// "HKCR\a\b\" names a's subkey b's default value; "HKCR\a\v" the value v of a.
bool Parse(const std::string& full, Name& out) {
    const std::size_t first = full.find('\\');
    const std::size_t last = full.rfind('\\');
    if (first == std::string::npos) return false;
    const std::string hive = full.substr(0, first);
    if (_stricmp(hive.c_str(), "HKEY_CLASSES_ROOT") == 0 || _stricmp(hive.c_str(), "HKCR") == 0)
        out.root = HKEY_CLASSES_ROOT;
    else if (_stricmp(hive.c_str(), "HKEY_CURRENT_USER") == 0 ||
             _stricmp(hive.c_str(), "HKCU") == 0)
        out.root = HKEY_CURRENT_USER;
    else if (_stricmp(hive.c_str(), "HKEY_LOCAL_MACHINE") == 0 ||
             _stricmp(hive.c_str(), "HKLM") == 0)
        out.root = HKEY_LOCAL_MACHINE;
    else
        return false;
    out.subkey = last > first ? Wide(full.substr(first + 1, last - first - 1)) : L"";
    out.value = Wide(full.substr(last + 1));
    return true;
}

std::optional<std::string> ReadValue(HKEY root, const std::wstring& subkey,
                                     const std::wstring& value) {
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    LSTATUS rc = RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key, value.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD v;
        memcpy(&v, data.data(), sizeof v);
        return std::to_string(v);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return Utf8(text);
}

LSTATUS WriteValue(HKEY root, const std::wstring& subkey, const std::wstring& value,
                   const std::wstring& text) {
    HKEY key;
    LSTATUS rc =
        RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc;
}

bool DeleteValue(HKEY root, const std::wstring& subkey, const std::wstring& value) {
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    const LSTATUS rc = RegDeleteValueW(key, value.c_str());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// Through the shell, as a script host starts it, so that regedit may ask to elevate; waits,
// so that the script may be deleted after.
void RunRegedit(const std::wstring& script) {
    const std::wstring parameters = L"/s \"" + script + L"\"";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = L"regedit.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
}

constexpr std::string_view kClasses = "HKEY_CLASSES_ROOT\\";
constexpr std::string_view kUserClasses = "HKEY_CURRENT_USER\\Software\\Classes\\";

// The script's lines with their line ends; a section header is "[KEY]", a removal "[-KEY]".
template <typename Visit>
void EachLine(std::string_view script, Visit visit) {
    for (std::size_t begin = 0; begin < script.size();) {
        std::size_t end = script.find('\n', begin);
        end = end == std::string_view::npos ? script.size() : end + 1;
        const std::string_view line = script.substr(begin, end - begin);
        const std::size_t skip = line.starts_with("[-") ? 2 : 1;
        const bool classes = line.starts_with('[') && line.substr(skip).starts_with(kClasses);
        visit(line, classes ? skip : 0);
        begin = end;
    }
}

// Whether every key that the script creates under HKEY_CLASSES_ROOT is there.
bool ClassesKeysPresent(std::string_view script, UINT codePage) {
    bool present = true;
    EachLine(script, [&present, codePage](std::string_view line, std::size_t skip) {
        if (skip != 1 || !present) return;
        std::string_view key = line.substr(1 + kClasses.size());
        while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.remove_suffix(1);
        if (!key.ends_with(']')) return;
        key.remove_suffix(1);
        const int n = static_cast<int>(key.size());
        std::wstring wide(key.size(), L'\0');
        wide.resize(static_cast<std::size_t>(
            MultiByteToWideChar(codePage, 0, key.data(), n, wide.data(), n)));
        HKEY opened;
        present =
            RegOpenKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS;
        if (present) RegCloseKey(opened);
    });
    return present;
}

// The same script for the user's classes, removals included.
std::string ForUserClasses(std::string_view script) {
    std::string out;
    EachLine(script, [&out](std::string_view line, std::size_t skip) {
        if (skip == 0) {
            out += line;
            return;
        }
        out += line.substr(0, skip);
        out += kUserClasses;
        out += line.substr(skip + kClasses.size());
    });
    return out;
}

}  // namespace

std::optional<std::string> WindowsRegistry::RegRead(const std::string& name) {
    Name n;
    if (!Parse(name, n)) return std::nullopt;
    if (InClasses(n)) {
        if (auto v = ReadValue(HKEY_CURRENT_USER, UserClasses(n.subkey), n.value)) return v;
    }
    return ReadValue(n.root, n.subkey, n.value);
}

bool WindowsRegistry::RegWrite(const std::string& name, const std::string& value) {
    Name n;
    if (!Parse(name, n)) return false;
    const std::wstring text = Wide(value);
    LSTATUS rc = WriteValue(n.root, n.subkey, n.value, text);
    // Refused by the machine's classes (a standard user gets ERROR_ACCESS_DENIED): the user's.
    if (rc != ERROR_SUCCESS && InClasses(n))
        rc = WriteValue(HKEY_CURRENT_USER, UserClasses(n.subkey), n.value, text);
    return rc == ERROR_SUCCESS;
}

bool WindowsRegistry::RegDelete(const std::string& name) {
    Name n;
    if (!Parse(name, n)) return false;
    bool deleted = false;
    if (name.back() == '\\') {
        // RegDeleteKeyW refuses a key that still has subkeys, as WScript.Shell does.
        if (n.subkey.empty()) return false;
        if (InClasses(n))
            deleted =
                RegDeleteKeyW(HKEY_CURRENT_USER, UserClasses(n.subkey).c_str()) == ERROR_SUCCESS;
        return RegDeleteKeyW(n.root, n.subkey.c_str()) == ERROR_SUCCESS || deleted;
    }
    if (InClasses(n)) deleted = DeleteValue(HKEY_CURRENT_USER, UserClasses(n.subkey), n.value);
    return DeleteValue(n.root, n.subkey, n.value) || deleted;
}

bool WindowsRegistry::Import(const std::string& scriptPath) {
    const std::wstring script = Wide(scriptPath);
    if (GetFileAttributesW(script.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    RunRegedit(script);
    std::ifstream in(std::filesystem::path(script), std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A Unicode script (UTF-16LE after its mark) is read as UTF-8 here and written back as it
    // came; any other is in Windows-1252.
    const bool unicode = text.starts_with("\xFF\xFE");
    if (unicode) {
        std::wstring wide((text.size() - 2) / 2, L'\0');
        std::memcpy(wide.data(), text.data() + 2, wide.size() * sizeof(wchar_t));
        text = Utf8(wide);
    }
    const UINT codePage = unicode ? CP_UTF8 : 1252;
    if (ClassesKeysPresent(text, codePage)) return true;
    // Refused, as HKEY_CLASSES_ROOT is to a standard user: the same tree in the user's classes.
    const std::wstring userScript = script + L".gebruiker.reg";
    std::string moved = ForUserClasses(text);
    if (unicode) {
        const std::wstring wide = Wide(moved);
        moved.assign("\xFF\xFE");
        moved.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    }
    if (AtomicWrite(Utf8(userScript), moved, FileUse::Data) == FileError::None)
        RunRegedit(userScript);
    DeleteFileW(userScript.c_str());
    // The classes root shows the user's classes too.
    return ClassesKeysPresent(text, codePage);
}

}  // namespace kolvik
