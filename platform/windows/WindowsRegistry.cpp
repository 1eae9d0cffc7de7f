#include "platform/windows/WindowsRegistry.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

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

}  // namespace

std::optional<std::string> WindowsRegistry::RegRead(const std::string& name) {
    Name n;
    if (!Parse(name, n)) return std::nullopt;
    HKEY key;
    if (RegOpenKeyExW(n.root, n.subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    LSTATUS rc = RegQueryValueExW(key, n.value.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExW(key, n.value.c_str(), nullptr, &type, data.data(), &size);
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

bool WindowsRegistry::RegWrite(const std::string& name, const std::string& value) {
    Name n;
    if (!Parse(name, n)) return false;
    HKEY key;
    if (RegCreateKeyExW(n.root, n.subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring w = Wide(value);
    const LSTATUS rc =
        RegSetValueExW(key, n.value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool WindowsRegistry::RegDelete(const std::string& name) {
    Name n;
    if (!Parse(name, n)) return false;
    if (name.back() == '\\') {
        // RegDeleteKeyW refuses a key that still has subkeys, as WScript.Shell does.
        return !n.subkey.empty() && RegDeleteKeyW(n.root, n.subkey.c_str()) == ERROR_SUCCESS;
    }
    HKEY key;
    if (RegOpenKeyExW(n.root, n.subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    const LSTATUS rc = RegDeleteValueW(key, n.value.c_str());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void WindowsRegistry::Import(const std::string& scriptPath) {
    if (GetFileAttributesW(Wide(scriptPath).c_str()) == INVALID_FILE_ATTRIBUTES) return;
    // Through the shell, as a script host starts it, so that regedit may ask to elevate.
    const std::wstring parameters = L"/s \"" + Wide(scriptPath) + L"\"";
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpFile = L"regedit.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) return;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
}

}  // namespace kolvik
