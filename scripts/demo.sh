#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo into demo-out/:
# pixmill converts a sample raster into grey and x window images, and pv5
# plots headless into PNG snapshots (or on screen when a display is reachable).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build
out=demo-out
mkdir -p "$out"
bash scripts/demo_pixmill.sh build "$out/pixmill"
bash scripts/demo_pv5.sh build "$out/pv5"
echo "demo: results in $out/"
ls -lR "$out"
