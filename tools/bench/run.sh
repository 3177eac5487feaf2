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

# The tools are built into the tools folder of the build.
tool() {
  if [ -x "$build/tools/$1" ]; then echo "$build/tools/$1"; else echo "$build/$1"; fi
}

echo "== micro-benchmarks"
bench=$(tool medconv_bench)
if [ -x "$bench" ]; then
  # From the build folder, which holds the dictionaries the benchmarks load.
  (cd "$build" && "$bench" --benchmark_min_time=0.2)
else
  echo "(medconv_bench not built: configure with -DMEDCONV_BENCH=ON)"
fi

if ! command -v hyperfine >/dev/null; then
  echo "hyperfine is not installed (apt-get install hyperfine): whole-command comparisons skipped"
  exit 0
fi

echo "== generating a series of 100 slices and a 200-frame file"
cd "$work"
mkdir -p series out
"$(tool mksamples)" --series 100 series
"$(tool mksamples)" --multiframe 200 multi.dcm
first=series/$(ls series | head -n 1)
# medconv finds its dictionary in the working folder, as an installed one
# would be found in the library folders.
for dictionary in dicom.din dicom.dic; do
  if [ -f "$build/$dictionary" ]; then cp "$build/$dictionary" .; fi
done

have() { command -v "$1" >/dev/null; }
per_file() { # a command run once per file of the series, as a user's script would
  printf 'for f in series/*.dcm; do %s; done' "$1"
}

# Runs hyperfine on medconv's command and on the peers' commands that are
# installed, in the same run so that the ratios are meaningful. A failing
# command ends this comparison only. Commands of a few milliseconds are run
# without a shell and more often (COMPARE_OPTIONS="-N --runs 30").
compare() { # title, medconv command, then per peer: name, program, command
  echo "== $1"
  local commands=(-n medconv "$2")
  shift 2
  while [ $# -ge 3 ]; do
    if have "$2"; then commands+=(-n "$1" "$3"); else echo "($2 not installed: no peer)"; fi
    shift 3
  done
  # shellcheck disable=SC2086
  hyperfine --warmup 1 ${COMPARE_OPTIONS:---runs 5} --style basic "${commands[@]}" || echo "(comparison failed)"
}

# Peak resident memory of a command, in KiB, by GNU time.
peak_memory() { # title, command...
  local title=$1
  shift
  if [ ! -x /usr/bin/time ]; then
    echo "$title: /usr/bin/time is not installed"
  elif have "$1"; then
    /usr/bin/time -f "$title: peak memory %M KiB" "$@" >/dev/null 2>"$work/time.txt" || true
    tail -n 1 "$work/time.txt"
  fi
}

compare "read and dump 100 files" \
  "$medconv -t1 --nowarn series/*.dcm >/dev/null" \
  dcmdump dcmdump "$(per_file 'dcmdump "$f" >/dev/null')"

compare "read and dump 100 files, one dcmdump run" \
  "$medconv -t1 --nowarn series/*.dcm >/dev/null" \
  dcmdump dcmdump "dcmdump series/*.dcm >/dev/null"

# Files with sequences (structured reports, RT plans, enhanced images): those
# of Debian's pydicom corpus that hold sequences, copied to 100 files.
corpus=/usr/lib/python3/dist-packages/pydicom/data/test_files
if [ -d "$corpus" ]; then
  mkdir -p nested
  sources=()
  for name in CT_small rtplan rtstruct rtdose test-SR reportsi emri_small_jpeg_2k_lossless liver_1frame \
              JPEG2000 MR_small; do
    [ -f "$corpus/$name.dcm" ] && sources+=("$corpus/$name.dcm")
  done
  for n in $(seq 1 100); do cp "${sources[$((n % ${#sources[@]}))]}" "nested/$n.dcm"; done
  compare "read and dump 100 files with sequences, one dcmdump run" \
    "$medconv -t1 --nowarn nested/*.dcm >/dev/null" \
    dcmdump dcmdump "dcmdump nested/*.dcm >/dev/null"
fi

compare "100 files to RAW" \
  "$medconv -r0 --to=out/ --nowarn series/*.dcm" \
  gdcmraw gdcmraw "$(per_file "gdcmraw -i \"\$f\" -o out/x.raw")"

compare "100 files to implicit VR little endian" \
  "$medconv -d=il --to=out/ --nowarn series/*.dcm" \
  dcmconv dcmconv "$(per_file "dcmconv +ti \"\$f\" out/x.dcm")"

COMPARE_OPTIONS="-N --runs 30" compare "frame 7 of a 200-frame file to RAW" \
  "$medconv -r0 --frame=7:7 --to=out/ --nowarn multi.dcm" \
  dcm2pnm dcm2pnm "dcm2pnm +F 7 multi.dcm out/f7.pgm"

echo "== peak memory of frame 7 of the 200-frame file (one frame is 512 KiB)"
peak_memory "medconv -r0 --frame=7:7" "$medconv" -r0 --frame=7:7 --to=out/ --nowarn multi.dcm
peak_memory "medconv --version (start-up alone)" "$medconv" --version
peak_memory "dcm2pnm +F 7" dcm2pnm +F 7 multi.dcm out/f7.pgm

compare "100 files to windowed 8-bit BMP" \
  "$medconv -w --win=40:400 --to=out/ --nowarn series/*.dcm" \
  dcm2pnm dcm2pnm "$(per_file "dcm2pnm +Ww 40 400 +ob \"\$f\" out/x.bmp")"

# medconv keeps the 12 stored bits of the slices: its PNG has 16-bit samples,
# like dcm2pnm's +on2; +on is dcm2pnm's 8-bit PNG.
compare "100 files to PNG without element texts" \
  "$medconv -p1 --to=out/ --nowarn series/*.dcm" \
  "dcm2pnm +on" dcm2pnm "$(per_file "dcm2pnm +on \"\$f\" out/x.png")" \
  "dcm2pnm +on2" dcm2pnm "$(per_file "dcm2pnm +on2 \"\$f\" out/x.png")"

# The same series in RLE Lossless, made by DCMTK: decoding included.
if have dcmcrle; then
  mkdir -p series-rle
  for f in series/*.dcm; do dcmcrle "$f" "series-rle/$(basename "$f")"; done
  compare "100 RLE files to windowed 8-bit BMP" \
    "$medconv -w --win=40:400 --to=out/ --nowarn series-rle/*.dcm" \
    dcm2pnm dcm2pnm "$(printf 'for f in series-rle/*.dcm; do %s; done' "dcm2pnm +Ww 40 400 +ob \"\$f\" out/x.bmp")"
fi

COMPARE_OPTIONS="-N --runs 30" compare "one file to windowed 8-bit BMP" \
  "$medconv -w --win=40:400 --to=out/ --nowarn $first" \
  dcm2pnm dcm2pnm "dcm2pnm +Ww 40 400 +ob $first out/y.bmp"

# The series in JPEG lossless with first-order prediction (SV1), as archives
# keep CT; DCMTK's dcmj2pnm is the peer a user would run.
if have dcmcjpeg; then
  mkdir -p series-jpeg-sv1
  for f in series/*.dcm; do dcmcjpeg +e1 "$f" "series-jpeg-sv1/$(basename "$f")"; done
  compare "100 JPEG lossless SV1 files to windowed 8-bit BMP" \
    "$medconv -w --win=40:400 --to=out/ --nowarn series-jpeg-sv1/*.dcm" \
    dcmj2pnm dcmj2pnm "for f in series-jpeg-sv1/*.dcm; do dcmj2pnm +Ww 40 400 +ob \"\$f\" out/x.bmp; done"
fi
