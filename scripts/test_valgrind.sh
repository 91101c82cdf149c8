#!/usr/bin/env bash
# Runs under valgrind memcheck on the release build: the robustness tests
# (hostile packets and settings through both paths), the command-line demo
# (a real signal encoded, lost and rebuilt through the shared library), the
# capture tests and, for memory errors alone (GStreamer keeps its registry
# for the process), the GStreamer elements' tests. Any memory error or
# definite leak fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --track-origins=yes -q)
"${memcheck[@]}" build/tests/dremko_tests \
  --gtest_filter='DecoderRobustness.*:EncoderRobustness.*:Robustness.*' --gtest_brief=1
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
if [ -x build/tests/rtp/dremko_rtp_tests ]; then
  "${memcheck[@]}" build/tests/rtp/dremko_rtp_tests --gtest_brief=1
fi
if [ -x build/tests/gst/dremko_gst_tests ]; then
  GST_REGISTRY="$out/registry.bin" "${memcheck[@]}" --leak-check=no build/tests/gst/dremko_gst_tests --gtest_brief=1
fi
"${memcheck[@]}" build/tools/dremko demo --out "$out" >/dev/null
echo "valgrind memcheck: clean"
