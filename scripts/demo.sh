#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo into demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh build
mkdir -p demo-out
echo "demo: nothing to show yet"
