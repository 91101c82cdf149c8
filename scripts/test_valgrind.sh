#!/usr/bin/env bash
# Runs the encoder and decoder under valgrind memcheck on the release build:
# the robustness tests (hostile packets and settings through both paths) and
# the command-line demo (a real signal encoded, lost and rebuilt through the
# shared library). Any memory error or definite leak fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --track-origins=yes -q)
"${memcheck[@]}" build/tests/dremko_tests \
  --gtest_filter='DecoderRobustness.*:EncoderRobustness.*:Robustness.*' --gtest_brief=1
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
"${memcheck[@]}" build/tools/dremko demo --out "$out" >/dev/null
echo "valgrind memcheck: clean"
