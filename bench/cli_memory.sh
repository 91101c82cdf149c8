#!/usr/bin/env bash
# Peak memory and wall time of the dremko tool on one hour of 48 kHz stereo
# audio: encode, decode and roundtrip stream frame by frame, so the peak
# resident set must stay well under 64 MB however long the input.
# usage: bench/cli_memory.sh [path/to/dremko] [minutes]
set -euo pipefail
dremko=${1:-build/tools/dremko}
minutes=${2:-60}
limit_kb=$((64 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Ten seconds of two unrelated voices of sweeping tones and noise, repeated.
python3 - "$work/in.wav" "$minutes" <<'PY'
import math, random, struct, sys
rate, chunk_s = 48000, 10
random.seed(7)
frames = []
for i in range(rate * chunk_s):
    t = i / rate
    left = 9000 * math.sin(2 * math.pi * (200 + 150 * math.sin(t)) * t) + random.gauss(0, 400)
    right = 7000 * math.sin(2 * math.pi * 3100 * t) * math.sin(3 * t) + random.gauss(0, 300)
    frames.append(struct.pack('<hh', int(left), int(right)))
chunk = b''.join(frames)
repeats = int(sys.argv[2]) * 60 // chunk_s
data = len(chunk) * repeats
with open(sys.argv[1], 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', data + 36) + b'WAVEfmt ' +
            struct.pack('<IHHIIHH', 16, 1, 2, rate, rate * 4, 4, 16) + b'data' + struct.pack('<I', data))
    for _ in range(repeats):
        f.write(chunk)
PY

status=0
measure() {
  local name=$1; shift
  /usr/bin/time -f '%M %e' -o "$work/time" "$dremko" "$@" --quiet
  read -r kb seconds < "$work/time"
  printf '%-10s peak %6.1f MB  wall %7.1f s  (%.0fx real time)\n' "$name" "$(echo "$kb / 1024" | bc -l)" \
    "$seconds" "$(echo "$minutes * 60 / $seconds" | bc -l)"
  [ "$kb" -lt "$limit_kb" ] || { echo "$name: peak above 64 MB"; status=1; }
}
echo "$minutes minutes of 48 kHz stereo, $(du -h "$work/in.wav" | cut -f1) of WAV"
measure encode encode "$work/in.wav" "$work/out.drk"
measure decode decode "$work/out.drk" "$work/out.wav" --loss 5
measure roundtrip roundtrip "$work/in.wav" "$work/rt.wav" --loss 5
exit $status
