#pragma once
// A registry that holds nothing: reads find nothing and writes are refused.
#include "platform/Registry.h"

namespace kolvik {

class NullRegistry : public Registry {
  public:
    std::optional<std::string> RegRead(const std::string&) override { return std::nullopt; }
    bool RegWrite(const std::string&, const std::string&) override { return false; }
    bool RegDelete(const std::string&) override { return false; }
    void Import(const std::string&) override {}
};

}  // namespace kolvik
