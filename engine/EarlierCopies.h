// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A taken name may hold the finished copy of an interrupted run. It is this file's copy only
// when it matches what this run would write: byte for byte, or, for a sealed copy (whose random
// bytes differ from run to run), when it opens with the password and decrypts to the original.
#include "engine/CopyAttempt.h"

namespace kolvik {

// The source stands at the job's dataStart. The attempt is marked earlier; on a match it is Ok,
// with what the copy must still show when its original goes.
CopyAttempt MatchEarlier(const CopyTools& tools, const CopyJob& job);

}  // namespace kolvik
