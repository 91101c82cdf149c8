#!/usr/bin/env bash
# Builds the codec and runs the demo: a built-in signal encoded, then decoded
# without loss, with bursty loss, and with the same loss but no copies.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
# The demo's files go into the build folder, outside what git tracks.
build/tools/dremko demo --out build/dremko-demo "$@"
