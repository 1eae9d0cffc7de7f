// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passwords and PINs are wiped before the memory that held them is freed or reused: a copy left
// behind in freed memory can reach a swap file or a crash dump.
#include <string>
#include <string_view>

#include "platform/Crypto.h"

namespace kolvik {

// The whole buffer, not just the text: a shorter text written over a longer one leaves the
// longer one's tail behind its end.
template <class Char>
void WipeText(std::basic_string<Char>& text) {
    crypto::Wipe(text.data(), text.capacity() * sizeof(Char));
    text.clear();
}

// Assignment may free the old buffer for a larger one; this wipes it first.
inline void ReplaceText(std::string& text, std::string_view with) {
    WipeText(text);
    text.assign(with);
}

// Wipes a text when the scope that holds it ends, however it ends.
class WipedAtExit {
  public:
    explicit WipedAtExit(std::string& text) : text_(text) {}
    ~WipedAtExit() { WipeText(text_); }
    WipedAtExit(const WipedAtExit&) = delete;
    WipedAtExit& operator=(const WipedAtExit&) = delete;

  private:
    std::string& text_;
};

}  // namespace kolvik
