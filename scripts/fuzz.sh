#!/usr/bin/env bash
# Builds the fuzz targets (decoder, encoder, .drk reader, RTP receiver,
# capture reader) with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer in build-fuzz, then runs each for SECONDS seconds from the
# committed seed corpus; the RTP receiver and the capture reader, small
# parsers that reach all their code within seconds, for a third of that.
# Inputs that reach new code are kept in build-fuzz/corpus/TARGET; a finding
# stops the run, fails the script and leaves its input in build-fuzz/findings.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s, all targets)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(decoder encoder drk_reader rtp_receiver capture_reader)

scripts/install_deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDREMKO_FUZZ=ON -DDREMKO_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

mkdir -p build-fuzz/findings
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  log="build-fuzz/$target.log"
  budget="$seconds"
  case "$target" in rtp_receiver|capture_reader) budget=$(( (seconds + 2) / 3 )) ;; esac
  echo "fuzzing $target for $budget s"
  # Standard output is closed: it carries only the decoder's frame-error
  # line, which damaged packets print all the time.
  if ! "build-fuzz/fuzz/${target}_fuzz" "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
      -max_total_time="$budget" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -close_fd_mask=1 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$target-" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target found a fault; its input is in build-fuzz/findings" >&2
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | sed "s/^/$target: /"
done
