// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TransportCode.h"

#include "engine/Keystream.h"

namespace kolvik {

std::string TransportCode(std::string_view bytes, std::string_view cipherKeyUtf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const KeyTable table = BuildKeyTable(cipherKeyUtf8);
    std::string code;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const auto b = static_cast<std::uint8_t>(bytes[k]);
        const std::uint8_t x = b ^ TransportKeyByte(table, static_cast<std::int64_t>(k) + 1);
        code.push_back(kHex[x >> 4]);
        code.push_back(kHex[x & 0x0F]);
    }
    return code;
}

}  // namespace kolvik
