// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry as the shell integration sees it: keys under HKEY_CLASSES_ROOT.
#include <optional>
#include <string>

namespace kolvik {

class Registry {
  public:
    virtual ~Registry() = default;
    // A name that ends in "\" names a key's default value; otherwise a named value.
    // Reading what is missing gives nullopt.
    virtual std::optional<std::string> RegRead(const std::string& name) = 0;
    virtual bool RegWrite(const std::string& name, const std::string& value) = 0;
    // A name that ends in "\" deletes that key, which fails while it has subkeys.
    virtual bool RegDelete(const std::string& name) = 0;
    // Merges a registry script into the store; a missing script imports nothing. False when
    // the script's keys are not in the store afterwards.
    virtual bool Import(const std::string& scriptPath) = 0;
    // False when the store is there but cannot be read: every read then says "missing", which
    // proves nothing about what the store holds.
    virtual bool Readable() { return true; }
};

}  // namespace kolvik
