// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passwords and plain text leave no copy behind in memory the program gives back: what held
// them is overwritten before it is replaced, shrunk or freed.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Crypto.h"

namespace kolvik {

// The whole allocation, past the text's end too: a shorter text assigned earlier left the
// longer one's tail there.
inline void WipeText(std::string& text) {
    text.resize(text.capacity());
    crypto::Wipe(text.data(), text.size());
    text.clear();
}

inline void WipeBytes(std::vector<std::uint8_t>& bytes) {
    bytes.resize(bytes.capacity());
    crypto::Wipe(bytes.data(), bytes.size());
    bytes.clear();
}

// Replaces a secret text, wiping the old one first when it differs.
inline void ReplaceText(std::string& text, const std::string& with) {
    if (text == with) return;
    WipeText(text);
    text = with;
}

}  // namespace kolvik
