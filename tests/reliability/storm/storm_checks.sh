#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The storm's own check: one run at a time with no other program at work loses nothing (no false
# alarm), and each kind of loss made after the runs is seen in every seed (the check has teeth
# even when the storm itself passes).
# Usage: storm_checks.sh PATH/TO/kolvik-cli
set -u
cli=$1 storm=$(dirname "$(realpath "$0")")/storm.py
source "$(dirname "$(realpath "$0")")/../sandbox.sh"
out=$(python3 "$storm" "$program" "$pw" 100 8 --serial) || { fail "false alarm with single runs:"; echo "$out"; }
# KIND and the line each seed must then report.
for row in "delete|lost: " "corrupt|lost: " "canary|canary outside the tree changed: "; do
    kind=${row%%|*} says=${row#*|}
    out=$(python3 "$storm" "$program" "$pw" 200 3 --serial --sabotage "$kind")
    seen=$(grep -c "^  $says" <<< "$out")
    [ "$seen" -eq 3 ] || { fail "sabotage $kind seen in $seen of 3 seeds:"; echo "$out"; }
done
fails_end "storm checks"
