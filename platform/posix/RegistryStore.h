// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry on Linux: a per-user store in the text format of registry scripts,
// read afresh and written atomically by every operation, so that two running copies of
// the program see each other's changes.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace kolvik {

struct RegValue {
    std::string name;  // empty: the key's default value
    bool dword = false;
    std::string text;
    std::uint32_t number = 0;
};

// Keys by full path ("HKEY_CLASSES_ROOT\.kol"); paths and value names compare without
// regard to letter case, as on Windows, and keep the spelling they were created with.
class RegTree {
  public:
    bool HasKey(std::string_view keyPath) const;
    const RegValue* Find(std::string_view keyPath, std::string_view valueName) const;
    void CreateKey(std::string_view keyPath);  // and every missing parent
    void SetValue(std::string_view keyPath, RegValue value);
    bool DeleteValue(std::string_view keyPath, std::string_view valueName);
    bool DeleteKey(std::string_view keyPath);  // fails while the key has subkeys
    std::vector<std::string> KeyPaths() const;
    std::string Serialize() const;  // a registry script, UTF-8, LF line ends

  private:
    struct Key {
        std::string path;
        std::vector<RegValue> values;
    };
    std::map<std::string, Key, std::less<>> keys_;  // by folded path, parents before their subkeys
};

// Merges a registry script (already UTF-8) into tree. Strict: false at the first line it
// cannot read, with tree then partly merged. Lenient: such lines are skipped. Both refuse
// a text without the script header.
bool MergeScript(std::string_view text, RegTree& tree, bool strict);

class FileRegistry : public Registry {
  public:
    explicit FileRegistry(std::string storePath);

    std::optional<std::string> RegRead(const std::string& name) override;
    bool RegWrite(const std::string& name, const std::string& value) override;
    bool RegDelete(const std::string& name) override;
    // Reads a Windows-1252 script and merges it; malformed lines are left out.
    bool Import(const std::string& scriptPath) override;
    bool Readable() override;

    // Called once when a damaged store has been kept aside; without a handler the text
    // waits for TakeNotice().
    std::function<void(const std::string&)> onNotice;
    std::string TakeNotice();
    const std::string& path() const { return path_; }

  private:
    enum class Load { Ok, Unavailable };
    Load LoadTree(RegTree& tree);
    bool SaveTree(const RegTree& tree);
    void Notify(const std::string& text);

    std::string path_;
    std::string notice_;
    bool toldUnavailable_ = false;
};

// $XDG_CONFIG_HOME/kolvik/registry.reg, or ~/.config/kolvik/registry.reg.
std::string DefaultRegistryPath();

}  // namespace kolvik
