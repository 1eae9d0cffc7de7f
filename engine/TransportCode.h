// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stored form of the PIN code: its bytes run through the transport keystream and
// written as upper-case hexadecimal, two digits per byte.
#include <string>
#include <string_view>

namespace kolvik {

// The fixed key under which PIN codes are encoded; the same PIN gives the same code everywhere.
inline constexpr std::string_view kTransportKey = "Velmora";

// Byte i (1-based) exclusive-or TransportKeyByte(i) under cipherKey, as hexadecimal.
std::string TransportCode(std::string_view bytes, std::string_view cipherKeyUtf8);

}  // namespace kolvik
