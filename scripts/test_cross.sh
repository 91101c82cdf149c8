#!/usr/bin/env bash
# Cross-builds for AArch64, s390x (big-endian) and riscv64 and runs their test
# suites under qemu-user, and builds and tests the portable (plain C++
# kernels) build on this machine; every build must give the committed
# regression digests. Each builds only what its run needs: the library, the
# kernel check, the regression tool and the unit tests, and on AArch64 the
# benchmark, which runs once to show it works there (its figures under qemu
# mean nothing), the capture tests and the command-line tool, whose files
# must match those of the build machine's tool (build/, built if missing).
# Usage: scripts/test_cross.sh [aarch64|s390x|riscv64|portable ...]
#        (aarch64, s390x and portable by default)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh --cross
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(aarch64 s390x portable)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths below the checkout hash alike, so a fresh clone finds its objects.
  export CCACHE_BASEDIR="$PWD"
fi
# The native tool the AArch64 one is held to, configured as scripts/build.sh
# does where build/ is missing.
build_native_tool() {
  [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  cmake --build build -j"$(nproc)" --target dremko_cli
}
for target in "${targets[@]}"; do
  dir=build-$target
  options=(-DCMAKE_BUILD_TYPE=Release "${launcher[@]}")
  tools=OFF
  programs=(dremko_tests kernel_check codec_digest_dremko_static codec_digest_dremko_o0)
  # The native build's tests of programs not built here: the installation
  # checks, the benchmark, the GStreamer elements and the RTP library.
  skip='^(install_to_prefix|installed_with_.*|dremko_host_example.*|windows_dll_exports|bench_smoke)$|_NOT_BUILT$'
  case $target in
    portable) options+=(-DDREMKO_PORTABLE=ON) ;;
    riscv64) options+=(-DDREMKO_PORTABLE=ON -DCMAKE_TOOLCHAIN_FILE=cmake/$target-linux-gnu.cmake) ;;
    aarch64) options+=(-DCMAKE_TOOLCHAIN_FILE=cmake/$target-linux-gnu.cmake -DDREMKO_NATIVE_TOOL="$PWD/build/tools/dremko")
             programs+=(dremko_bench dremko_cli dremko_rtp_tests) skip='^$' tools=ON
             build_native_tool ;;
    s390x) options+=(-DCMAKE_TOOLCHAIN_FILE=cmake/$target-linux-gnu.cmake) ;;
    *) echo "test_cross.sh: no target $target (aarch64, s390x, riscv64 or portable)" >&2; exit 2 ;;
  esac
  echo "== $target"
  start=$SECONDS
  cmake -S . -B "$dir" "${options[@]}" -DDREMKO_BUILD_TOOLS=$tools >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target "${programs[@]}"
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -E "$skip"
  echo "== $target: $((SECONDS - start)) s"
done
