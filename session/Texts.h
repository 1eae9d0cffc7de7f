// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Dutch words for the session's values, shared by the window and kolvik-cli so that both
// say the same thing. The engine below stays free of user text.
#include <string_view>

#include "engine/LeftReason.h"
#include "session/RunSession.h"

namespace kolvik {

// The reason a file was left, as it follows the path ("PAD: reden").
std::string_view LeftReasonText(LeftReason reason);
// Why a path cannot be the target; empty for TargetRefusal::None.
std::string_view TargetRefusalText(TargetRefusal refusal);
// Why the mode was not taken; empty for ModeRefusal::None.
std::string_view ModeRefusalText(ModeRefusal refusal);

}  // namespace kolvik
