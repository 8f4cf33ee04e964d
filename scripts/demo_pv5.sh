#!/usr/bin/env bash
# demo_pv5.sh BUILD_DIR OUT_DIR: plots with pv5ctl -- axes, dashed coloured
# curves over a filled area in one window, a false-colour raster in another.
# Headless, the plots land in OUT_DIR as window<k>.png; when DISPLAY names a
# reachable X server they are shown there for a few seconds too (and still
# written to OUT_DIR).  pv5ctl's reply lines go to OUT_DIR/pv5ctl.log.
set -euo pipefail
build=${1:?usage: demo_pv5.sh BUILD_DIR OUT_DIR}
out=${2:?usage: demo_pv5.sh BUILD_DIR OUT_DIR}
ctl="$build/src/pv5client/pv5ctl"
[ -x "$ctl" ] || { echo "demo_pv5: $ctl not built" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

mode=(--headless)
hold=0
if [ -n "${DISPLAY:-}" ] && command -v xprop >/dev/null && xprop -root >/dev/null 2>&1; then
  mode=()
  hold=4
fi

script="$out/plot.pv5"
awk -v hold="$hold" 'BEGIN {
  pi = 3.14159265
  # Window 1: 640 x 474 pixels; window 2: 512 x 474.
  print "cr 1 0.05 0.05 0.55 0.42"
  print "er 1"
  # colours: 0 black, 1 red, 2 blue, 3 green, 4 light orange, 5 grey
  print "st 1 2 0  0 0 0  0.85 0.1 0.1  0.1 0.3 0.85  0.1 0.6 0.2  1 0.8 0.55  0.75 0.75 0.75"

  x0 = 0.1; x1 = 0.95; y0 = 0.08; y1 = 0.68; ym = (y0 + y1) / 2
  # a filled bump under everything else
  line = "fi 4"
  for (i = 0; i <= 100; i++) {
    t = i / 100; x = x0 + (x1 - x0) * t
    line = line sprintf(" %.4f %.4f", x, y0 + 0.22 * exp(-((t - 0.6) / 0.12) ^ 2))
  }
  print line sprintf(" %.4f %.4f %.4f %.4f", x1, y0, x0, y0)

  # grid lines, light grey and dotted
  line = "dr"
  for (k = 1; k < 5; k++) {
    gx = x0 + (x1 - x0) * k / 5; gy = y0 + (y1 - y0) * k / 5
    line = line sprintf("%s 1 4 5 %.4f %.4f %.4f %.4f ; 1 4 5 %.4f %.4f %.4f %.4f", k > 1 ? " ;" : "", gx, y0, gx, y1, x0, gy, x1, gy)
  }
  print line

  # the frame and its ticks, solid black
  line = sprintf("dr 3 1 0 %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f", x0, y0, x1, y0, x1, y1, x0, y1, x0, y0)
  for (k = 0; k <= 10; k++) {
    tx = x0 + (x1 - x0) * k / 10; ty = y0 + (y1 - y0) * k / 10
    line = line sprintf(" ; 2 1 0 %.4f %.4f %.4f %.4f ; 2 1 0 %.4f %.4f %.4f %.4f", tx, y0, tx, y0 + 0.012, x0, ty, x0 + 0.012, ty)
  }
  print line

  # three curves: red dashes, blue long dashes, green dash-dot
  for (c = 1; c <= 3; c++) {
    line = sprintf("dr %d %d %d", 4, c + 1, c)
    for (i = 0; i <= 300; i++) {
      t = i / 300; x = x0 + (x1 - x0) * t
      if (c == 1) v = sin(2 * pi * 2 * t)
      else if (c == 2) v = cos(2 * pi * 1.5 * t) * 0.8
      else v = exp(-3 * t) * sin(2 * pi * 5 * t)
      line = line sprintf(" %.4f %.4f", x, ym + v * 0.25)
    }
    print line
  }
  print "fl"

  # Window 2: a 64 x 64 grid of z = sin(3x) cos(4y) + a ripple, false colour.
  print "cr 2 0.05 0.57 0.97 0.42"
  iw = 64; ih = 64
  print "rh 2 0 " iw " " ih " 0.05 0.05 0.95 0.875 0.05 0.05 0.95 0.875" \
        "  -1.6 0.27 0 0.33  -0.6 0.23 0.32 0.55  0 0.13 0.57 0.55  0.6 0.37 0.79 0.38  1.6 0.99 0.91 0.14"
  line = "rd 2"; n = 0
  for (j = 0; j < ih; j++) for (i = 0; i < iw; i++) {
    x = i / (iw - 1) * 2 - 1; y = j / (ih - 1) * 2 - 1
    z = sin(3 * x) * cos(4 * y) + 0.5 * cos(8 * sqrt(x * x + y * y))
    line = line sprintf(" %.4f", z); n++
    if (n == 512) { print line; line = "rd 2"; n = 0 }
  }
  if (n) print line
  print "st 1 3 0  0 0 0"
  print "dr 3 1 0 0.05 0.05 0.95 0.05 0.95 0.875 0.05 0.875 0.05 0.05"
  print "fl"
  print "gd"
  print "gr 1"
  print "gr 2"
  print "ru"
  if (hold > 0) print "sleep " hold
}' > "$script"

"$ctl" "${mode[@]}" --snapshot-dir "$out" "$script" > "$out/pv5ctl.log"
rm -f "$out/events.log"
if [ $hold -gt 0 ]; then where="on $DISPLAY and in $out"; else where="in $out"; fi
echo "demo_pv5: plots $where: $(cd "$out" && ls window*.png | tr '\n' ' ')"
