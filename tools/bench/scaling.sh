#!/usr/bin/env bash
# Scaling of --jobs: the 100-slice series to BMP and to PNG without --jobs
# (the sequential path), then with --jobs=1, 2, 4 ... up to the processors
# online, all timed by hyperfine in one run per format; prints each
# command's speed relative to the sequential path and to --jobs=1. Every run
# writes into an emptied folder, as the conversion of an archive does, once
# the files of the run before are on disk (their write-back would otherwise
# fall at random into later runs), and
# finds the binary dictionary in the working folder, as an installed program
# finds it in its library folders.
# Usage: tools/bench/scaling.sh <build folder>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
medconv=$build/medconv
if ! command -v hyperfine >/dev/null; then
  echo "hyperfine is not installed (apt-get install hyperfine): scaling skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mksamples=$build/tools/mksamples
[ -x "$mksamples" ] || mksamples=$build/mksamples
mkdir series out
"$mksamples" --series 100 series >/dev/null
if [ -f "$build/dicom.din" ]; then cp "$build/dicom.din" .; fi

cores=$(getconf _NPROCESSORS_ONLN)
counts=()
for ((n = 1; n < cores; n *= 2)); do counts+=("$n"); done
counts+=("$cores")

scale() { # title, medconv options
  local title=$1 options=$2
  local commands=(-n sequential "$medconv $options --nowarn --to=out/ series/*.dcm")
  for n in "${counts[@]}"; do
    commands+=(-n "jobs=$n" "$medconv $options --jobs=$n --nowarn --to=out/ series/*.dcm")
  done
  echo "== $title: $cores processors online"
  hyperfine --warmup 2 --runs 20 --style none --prepare 'rm -rf out && mkdir out && sync' --export-json "$work/times.json" "${commands[@]}" >/dev/null
  python3 - "$work/times.json" "$cores" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
cores = int(sys.argv[2])
mean = {r["command"]: r["mean"] for r in results}
print(f"{'':12} {'vs sequential':>14} {'vs jobs=1':>10} {'per core':>9}")
for r in results:
    name = r["command"]
    jobs = int(name.split("=")[1]) if name.startswith("jobs=") else 1
    speed = mean["jobs=1"] / r["mean"]
    print(f"{name:12} {mean['sequential'] / r['mean']:13.2f}x {speed:9.2f}x {speed / jobs:8.2f}")
print(f"target at jobs={cores}: {0.85 * cores:.2f}x vs jobs=1")
PY
}

scale "100 slices to windowed 8-bit BMP" "-w --win=40:400"
scale "100 slices to PNG without element texts" "-p1"
