#!/usr/bin/env bash
# Makes tests/data/speech_48k.raw: a short synthetic English sentence as raw
# 16-bit little-endian mono PCM at 48 kHz, for the speech detector tests.
# Needs espeak-ng and sox (apt-get install -y espeak-ng sox).
set -euo pipefail
cd "$(dirname "$0")/.."
text="Every morning we walked along the river to the old mill."
tmp="$(mktemp --suffix=.wav)"
trap 'rm -f "$tmp"' EXIT
espeak-ng -v en-us -s 165 -p 45 -w "$tmp" "$text"
sox -R "$tmp" -t raw -r 48000 -e signed-integer -b 16 -c 1 -L tests/data/speech_48k.raw gain -n -3
