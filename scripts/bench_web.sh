#!/usr/bin/env bash
# Speed of the web package under node against the native library, in one run
# on the same speech (the first 162 frames of the benchmark audio), 64 kbit/s
# per channel with 2 copies, best of the passes; and the module's size.
# Needs build/bench/dremko_bench (scripts/build.sh) and web/dremko.wasm
# (scripts/test_web.sh).   scripts/bench_web.sh [passes]
set -euo pipefail
cd "$(dirname "$0")/.."
passes=${1:-15}
fixture=tests/data/speech_48k.raw
native() {
  build/bench/dremko_bench --frames 162 --repeat "$passes" "$@" |
    awk -F'|' '/^\| (en|de)code (mono|stereo) 64 kbit\/s +\|/ { gsub(/ +/, " ", $2); print $2 "|" $3 }'
}
widest=$(native)
baseline=$(native --baseline)
node_lines=$(node web/bench/speed.js "$fixture" "$passes")
echo "| case | node frames/s | native frames/s, widest kernels | node / native | native frames/s, baseline kernels | node / native baseline |"
echo "|---|---:|---:|---:|---:|---:|"
for stereo in false true; do
  channels=$([ "$stereo" = true ] && echo stereo || echo mono)
  line=$(grep "\"stereo\":$stereo" <<<"$node_lines")
  for step in encode decode; do
    us=$(sed -E "s/.*\"${step}Us\":([0-9.]+).*/\1/" <<<"$line")
    wide=$(awk -F'|' -v c=" $step $channels 64 kbit/s " '$1 ~ c { print $2 }' <<<"$widest")
    base=$(awk -F'|' -v c=" $step $channels 64 kbit/s " '$1 ~ c { print $2 }' <<<"$baseline")
    awk -v s="$step $channels" -v u="$us" -v w="$wide" -v b="$base" \
      'BEGIN { printf "| %s | %.0f | %.0f | %.2f | %.0f | %.2f |\n", s, 1e6 / u, 1e6 / w, w / u, 1e6 / b, b / u }'
  done
done
raw=$(stat -c %s web/dremko.wasm)
gz=$(gzip -9 -c web/dremko.wasm | wc -c)
glue=$(cat web/index.js | wc -c)
gluegz=$(gzip -9 -c web/index.js | wc -c)
echo
echo "module dremko.wasm: $raw bytes raw, $gz gzip -9; index.js: $glue bytes raw, $gluegz gzip -9"
