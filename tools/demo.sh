#!/usr/bin/env bash
# Shows medconv at work on the project's generated samples.
#   tools/demo.sh <path of medconv> <output folder>
# The samples are made into samples/ (or a temporary folder when samples/ is
# not writable) by mksamples, built with medconv. Every output is left in
# the output folder, where the demo runs so that medconv finds the data
# dictionary copied there.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <medconv> <output folder>" >&2
  exit 2
fi
medconv=$(realpath "$1")
build=$(dirname "$medconv")
out=$2
source_dir=$(realpath "$(dirname "$0")/..")

samples="$source_dir/samples"
if ! mkdir -p "$samples" 2>/dev/null || [ ! -w "$samples" ]; then
  samples=$(mktemp -d)
fi
mksamples="$build/tools/mksamples"
[ -x "$mksamples" ] || mksamples="$build/mksamples"
"$mksamples" "$samples"

rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
for dictionary in dicom.dic dicom.din; do
  if [ -f "$build/$dictionary" ]; then cp "$build/$dictionary" "$out/"; fi
done
cd "$out"
# Shown relative to the output folder, to keep the command lines short.
samples=$(realpath --relative-to="$out" "$samples")

# Shows a command line, then runs it; a failing command does not end the demo.
# Patterns are passed quoted: medconv expands them itself.
run() {
  echo
  echo "\$ medconv ${*}"
  "$medconv" "$@" || echo "(exit status $?)"
}

echo "Samples in $(realpath "$samples"):"
ls "$samples"

run --version

echo
echo "== Text dumps: one <name>.txt per file, written next to the outputs"
run -t --to=. --rank "$samples/*.dcm"
ls ./*.txt

echo
echo "== Anonymised dump of the CT slice (default: pn_rp:rm_all)"
run --anon -t1 "$samples/ct.dcm"

echo
echo "== Renaming the inputs (copies of the samples) from their data sets"
mkdir -p renamed
cp "$samples"/*.dcm renamed/
run --rename=modal:pat_nm:ser_nb0:ren_o --name --sort "renamed/*.dcm"
ls renamed

echo
echo "== Images: BMP, PNG and TARGA of every sample"
run -w -p -a --to=. "$samples/*.dcm"
ls ./*.bmp ./*.png ./*.tga 2>/dev/null || echo "(no image written)"

echo
echo "== The CT slice through the soft-tissue window (--win=40:400), as BMP and PNG"
mkdir -p windowed
run -w -p1 --win=40:400 --to=windowed "$samples/ct.dcm"
ls windowed

echo
echo "== RAW pixel data (little endian) and DICOM in explicit VR little endian of every sample"
mkdir -p raw-dicom
run -r0 -d=el --to=raw-dicom "$samples/*.dcm"
ls raw-dicom

echo
echo "== Statistics of the CT slice, and its cropped, halved copy in implicit VR little endian"
run --get=max:min:mean "$samples/ct.dcm"
echo
run --crop=8:8:48:48 --halve -d=il --to=raw-dicom --rename=cur_nm:cropped "$samples/ct.dcm"

# -j extracts JPEG data already in a set; DCMTK's dcmcjpeg, when installed,
# makes such sets from the samples: the grey frames in baseline JPEG, and the
# colour wheel kept in RGB (+cr) rather than converted to YCbCr.
if command -v dcmcjpeg >/dev/null 2>&1; then
  echo
  echo "== JPEG streams of JPEG-encoded copies of the samples (made with dcmcjpeg +eb)"
  mkdir -p jpeg
  if dcmcjpeg +eb "$samples/multiframe.dcm" jpeg/multiframe.dcm &&
     dcmcjpeg +eb +cr "$samples/rgb.dcm" jpeg/rgb.dcm; then
    run -j --frame=1:3 jpeg/multiframe.dcm
    run -j jpeg/rgb.dcm
    ls jpeg/*.jpg 2>/dev/null || echo "(no JPEG written)"
  fi
fi

# Compressed copies of the samples, made by DCMTK and GDCM when installed, go
# through the same writers as native sets: medconv decodes them.
compress() {
  command -v "${1%% *}" >/dev/null 2>&1 || return 1
  $1 "$2" "$3" >/dev/null 2>&1
}
echo
echo "== Compressed copies of the samples, decoded to BMP and to explicit VR little endian"
mkdir -p compressed
for copy in "dcmcrle:ct:rle" "dcmcrle:multiframe:rle" "dcmcjpeg +e1:ct:jpeg-lossless" \
            "dcmcjpeg +eb:rgb:jpeg-baseline" "dcmcjpls:ct:jpeg-ls" "gdcmconv --j2k:ct:j2k" \
            "dcmconv +td:ct:deflated"; do
  IFS=: read -r tool sample name <<<"$copy"
  compress "$tool" "$samples/$sample.dcm" "compressed/$sample-$name.dcm" || continue
  run -w -d=el --frame=whole --to=compressed "compressed/$sample-$name.dcm"
done
ls compressed

echo
echo "Outputs are in $out"
