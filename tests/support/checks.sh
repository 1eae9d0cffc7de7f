# SPDX-License-Identifier: GPL-3.0-or-later
# Pass and fail counts for the end-to-end scripts, sourced by them: one line per failure on
# standard error, the counts at the end, and the status says whether all passed.
passed=0 failed=0
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name" >&2; fi
}
checks_end() { echo "${1:+$1: }$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }
# For scripts that only count failures: fail names one, fails_end NAME says how many.
fail() { echo "FAILED: $*" >&2; failed=$((failed + 1)); }
fails_end() { echo "$1: $failed failed"; [ "$failed" -eq 0 ]; }
