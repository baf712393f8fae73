#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ringlark.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Until the desktop window lands: a demo of the command-line companion.
out="${TMPDIR:-/tmp}/ringlark-demo.wav"
build/cli/ringlark-cli generate mdmf --number 800-555-1212 --name "John Doe" -o "$out" --inspect
echo "Wrote $out"
