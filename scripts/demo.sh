#!/usr/bin/env bash
# Builds the codec and runs the demo: a built-in signal encoded, then decoded
# without loss, with bursty loss, and with the same loss but no copies.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build/tools/dremko demo "$@"
