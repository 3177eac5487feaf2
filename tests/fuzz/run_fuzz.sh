#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build from its seeds, one after the other,
# within the resource bounds of the project: 1 s and 256 MiB per input.
#   run_fuzz.sh <fuzz build folder> <seconds per target> [target...]
# FUZZ_TIMEOUT (seconds, default 1) may be raised on a loaded machine; an
# input it lets through must still finish in 1 s when run on its own.
# New inputs go to <build>/work/<target>, findings to <build>/findings/<target>/.
# Prints each target's executions and coverage; fails when any target found
# something (copy the finding into tests/fuzz/regressions/<target>/ once mended).
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || read -r -a targets < "$build/fuzz-targets.txt"
# The allocator's quarantine of freed blocks is sanitizer memory, not the
# program's: kept small so that the RSS limit measures the program.
export ASAN_OPTIONS="quarantine_size_mb=32:${ASAN_OPTIONS:-}"
failed=()
for target in "${targets[@]}"; do
  dictionary=()
  case $target in
    dataset|pipeline) dictionary=(-dict="$here/dicts/dicom.dict") ;;
    dictionary) dictionary=(-dict="$here/dicts/dictionary.dict") ;;
    decoder_rle) ;;
    decoder_*) dictionary=(-dict="$here/dicts/jpeg.dict") ;;
  esac
  findings="$build/findings/$target"
  mkdir -p "$build/work/$target" "$findings" "$build/corpus/$target"
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=256 -timeout="${FUZZ_TIMEOUT:-1}" \
    -print_final_stats=1 -artifact_prefix="$findings/" "${dictionary[@]}" \
    "$build/work/$target" "$build/corpus/$target" > "$findings.log" 2>&1
  status=$?
  printf '%-24s %10s executions  %-12s %-12s %s\n' "$target" \
    "$(sed -n 's/^stat::number_of_executed_units: *//p' "$findings.log" | grep . || echo '?')" \
    "$(grep -o 'cov: [0-9]*' "$findings.log" | tail -1)" "$(grep -o 'ft: [0-9]*' "$findings.log" | tail -1)" \
    "$([ $status -eq 0 ] && echo ok || echo "FINDING (see $findings.log)")"
  [ $status -eq 0 ] || failed+=("$target")
done
[ ${#failed[@]} -eq 0 ] || { echo "findings in: ${failed[*]}" >&2; exit 1; }
