#!/usr/bin/env bash
# Cross-builds for AArch64 and s390x and runs their test suites under
# qemu-user, and builds and tests the portable (plain C++ kernels) build on
# this machine; every build must give the committed regression digests.
# Usage: scripts/test_cross.sh [aarch64|s390x|portable ...] (all by default)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh --cross
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(aarch64 s390x portable)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
for target in "${targets[@]}"; do
  dir=build-$target
  options=(-DCMAKE_BUILD_TYPE=Release -DDREMKO_BUILD_TOOLS=OFF "${launcher[@]}")
  case $target in
    portable) options+=(-DDREMKO_PORTABLE=ON) ;;
    riscv64) options+=(-DDREMKO_PORTABLE=ON -DCMAKE_TOOLCHAIN_FILE=cmake/$target-linux-gnu.cmake) ;;
    *) options+=(-DCMAKE_TOOLCHAIN_FILE=cmake/$target-linux-gnu.cmake) ;;
  esac
  echo "== $target"
  cmake -S . -B "$dir" "${options[@]}" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  # The installation tests compile host programs against the tree: they
  # belong to the native build.
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -E '^install|installed|host_example'
done
