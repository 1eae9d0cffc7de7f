#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the fuzz targets side by side from the seeds in fuzz/corpus/ and fails on any crash,
# leak, timeout or sanitizer report. What a run finds new is kept in the build folder, never
# in the seeds.
#   fuzz/run.sh [build folder] [libFuzzer options]
#   fuzz/run.sh build/fuzz -max_total_time=60      (the default)
#   fuzz/run.sh build/fuzz -runs=10000000 -max_len=1024
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/fuzz}" && pwd)
shift || true
options=("$@")
[ ${#options[@]} -gt 0 ] || options=(-max_total_time=60)
targets=(fuzz_header fuzz_registry fuzz_strong)
out=$build/fuzz-run
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

pids=()
for t in "${targets[@]}"; do
    mkdir -p "$out/$t/corpus" "$out/$t/artifacts"
    rm -f "$out/$t/artifacts/"*
    "$build/fuzz/$t" "${options[@]}" -timeout=25 -print_final_stats=1 \
        -artifact_prefix="$out/$t/artifacts/" "$out/$t/corpus" "$here/fuzz/corpus/$t" \
        >"$out/$t.log" 2>&1 &
    pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
    t=${targets[$i]} log=$out/${targets[$i]}.log
    rc=0
    wait "${pids[$i]}" || rc=$?
    # Belt and braces: a sanitizer that only warned still fails the run.
    if [ "$rc" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
        status=1
        echo "$t: FAILED (exit $rc); the input is in $out/$t/artifacts/" >&2
        tail -n 60 "$log" >&2
        continue
    fi
    stat() { grep -m1 "^stat::$1:" "$log" | awk '{print $2}'; }
    cov=$(grep -E '^#[0-9]+' "$log" | grep -oE 'cov: [0-9]+ ft: [0-9]+' | tail -n 1)
    echo "$t: $(stat number_of_executed_units) executions, $(stat average_exec_per_sec)/s," \
        "$(grep -oE 'in [0-9]+ second' "$log" | tail -n 1 | awk '{print $2}') s, $cov, peak $(stat peak_rss_mb) MB, no findings"
done
exit "$status"
