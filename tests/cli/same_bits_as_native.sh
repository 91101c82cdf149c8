#!/bin/sh
# A cross build's dremko, run under its emulator, against the build
# machine's: the same speech encoded, then decoded with loss, must give the
# same .drk file and the same WAV file, byte for byte. One copy per packet
# and bursts of three losses give frames rebuilt from copies and concealed.
# Usage: same_bits_as_native.sh NATIVE_DREMKO SPEECH_48K_RAW EMULATOR... DREMKO
set -eu
native=$1 speech=$2
shift 2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The fixture (mono 16-bit little-endian at 48 kHz) as a WAV file, so that
# each tool reads it through its own libsndfile.
python3 -c 'import sys, wave
w = wave.open(sys.argv[2], "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)
w.writeframes(open(sys.argv[1], "rb").read())
w.close()' "$speech" "$dir/speech.wav"
"$native" encode "$dir/speech.wav" "$dir/native.drk" --redundancy 1 -q
"$@" encode "$dir/speech.wav" "$dir/target.drk" --redundancy 1 -q
cmp "$dir/native.drk" "$dir/target.drk"
"$native" decode "$dir/native.drk" "$dir/native.wav" --loss 20 --burst 3 -q
"$@" decode "$dir/target.drk" "$dir/target.wav" --loss 20 --burst 3 -q
cmp "$dir/native.wav" "$dir/target.wav"
