// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Formats.h"

#include "engine/Wipe.h"

namespace kolvik {

Format& Formats::Reading(std::string_view leading) {
    for (Format* marked : {static_cast<Format*>(&v2_), static_cast<Format*>(&v1_)})
        if (marked->Recognises(leading)) return *marked;
    return classic_;
}

WrittenFormat& Formats::Writing(bool strong, WallClock::time_point modeTime,
                                const strong::Argon2Cost& cost) {
    if (!strong) return classic_;
    v2_.StartRun(modeTime, cost);
    return v2_;
}

void Formats::EndRun() {
    shared_.keys.Forget();
    shared_.cipher.reset();  // closing the library's cipher wipes its key schedule
    shared_.hmac.reset();    // and closing its hash the last key's pads
    WipeBytes(shared_.chunkBuffer);
    shared_.chunkBuffer.shrink_to_fit();
    classic_.Forget();
    v2_.EndRun();
}

}  // namespace kolvik
