#!/usr/bin/env bash
# demo_pixmill.sh BUILD_DIR OUT_DIR: makes a sample raster, converts it with
# pixmill into a grey image and an x window image, each in normal and
# reversed video, and writes viewable PGM copies of the grey images (the
# standard P5 header in front of the padded pixel bytes).
set -euo pipefail
build=$1 out=$2
pixmill="$(realpath "$build/src/converter/pixmill")"
mkraster="$(realpath "$build/src/converter/mkraster")"
mkdir -p "$out"
# pixmill keeps file names to 32 characters, so work inside OUT_DIR with
# short relative names.
cd "$out"
# Odd dimensions show the padding: the grey image becomes 322 x 242.
w=321 l=241
wp=$((w + w % 2)) lp=$((l + l % 2))
"$mkraster" "sample.raw" $w $l
for video in normal reverse; do
  "$pixmill" "sample.raw" "grey-$video.img" $w $l g 0.5 $video
  "$pixmill" "sample.raw" "xwin-$video.img" $w $l x 0.5 $video
  { printf 'P5\n%d %d\n255\n' $wp $lp; cat "grey-$video.img"; } >"grey-$video.pgm"
done
echo "pixmill demo: $w x $l samples -> $out"
ls -l | awk 'NR > 1 { printf "  %-22s %9d bytes\n", $9, $5 }'
