#!/usr/bin/env bash
# Benchmarks: the micro-benchmarks of the library, then whole commands timed
# with hyperfine side by side with the tools a user would otherwise run
# (DCMTK, GDCM), on a generated series of 512 x 512 16-bit CT slices.
# Usage: tools/bench/run.sh <build folder>
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$build" && pwd)
medconv=$build/medconv
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== micro-benchmarks"
if [ -x "$build/medconv_bench" ]; then
  (cd "$build" && ./medconv_bench --benchmark_min_time=0.2)
fi

if ! command -v hyperfine >/dev/null; then
  echo "hyperfine is not installed (apt-get install hyperfine): whole-command comparisons skipped"
  exit 0
fi

echo "== generating a series of 100 slices and a 200-frame file"
series=$work/series
mkdir -p "$series"
"$build/mksamples" --series 100 "$series"
"$build/mksamples" --multiframe 200 "$work/multi.dcm"
first=$series/$(ls "$series" | head -n 1)
files=("$series"/*.dcm)

have() { command -v "$1" >/dev/null; }
per_file() { # a command run once per file of the series, as a user's script would
  printf 'for f in %s/*.dcm; do %s; done' "$series" "$1"
}
out=$work/out
mkdir -p "$out"
cd "$work"

# Runs hyperfine on medconv's command and, when the peer tool is installed, on
# the peer's command, in the same run so that the ratio is meaningful.
compare() { # title, medconv command, peer program, peer command
  echo "== $1"
  local commands=("$2")
  if have "$3"; then commands+=("$4"); else echo "($3 not installed: no peer)"; fi
  hyperfine --warmup 1 --runs 5 --style basic "${commands[@]}"
}

compare "read and dump 100 files" \
  "$medconv -t1 --nowarn ${files[*]} >/dev/null" \
  dcmdump "$(per_file 'dcmdump "$f" >/dev/null')"

compare "100 files to RAW" \
  "$medconv -r0 --to=$out/ --nowarn ${files[*]}" \
  gdcmraw "$(per_file "gdcmraw -i \"\$f\" -o $out/x.raw")"

compare "100 files to implicit VR little endian" \
  "$medconv -d=il --to=$out/ --nowarn ${files[*]}" \
  dcmconv "$(per_file "dcmconv +ti \"\$f\" $out/x.dcm")"

compare "frame 7 of a 200-frame file to RAW" \
  "$medconv -r0 --frame=7:7 --to=$out/ --nowarn $work/multi.dcm" \
  dcm2pnm "dcm2pnm +F 7 $work/multi.dcm $out/f7.pgm"

compare "100 files to windowed 8-bit BMP" \
  "$medconv -w --win=40:400 --to=$out/ --nowarn ${files[*]}" \
  dcm2pnm "$(per_file "dcm2pnm +Ww 40 400 +ob \"\$f\" $out/x.bmp")"

compare "100 files to 8-bit PNG" \
  "$medconv -p1 --to=$out/ --nowarn ${files[*]}" \
  dcm2pnm "$(per_file "dcm2pnm +on \"\$f\" $out/x.png")"

compare "one file to windowed 8-bit BMP" \
  "$medconv -w --win=40:400 --to=$out/ --nowarn $first" \
  dcm2pnm "dcm2pnm +Ww 40 400 +ob $first $out/y.bmp"
