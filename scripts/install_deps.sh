#!/usr/bin/env bash
# Installs the Debian packages the build, the tests (the Windows DLL check
# among them), the sanitizer and valgrind runs and the fuzz targets need,
# when any is missing. With --web, also those of the WebAssembly build and
# the web package's tests: emscripten (with node's acorn for its optimiser)
# and chromium; node and npm come with the machine. With --cross, the cross
# compilers, qemu-user and ccache of scripts/test_cross.sh, and the arm64
# libraries its AArch64 build links: libopus for the benchmark, libsndfile,
# libsoxr and libpcap for the tool (Debian's arm64 architecture added; apt
# brings the amd64 packages they share to the same version).
set -euo pipefail
packages=(cmake make g++ pkg-config python3 python3-numpy python3-matplotlib python3-soundfile bash-completion libgtest-dev libsndfile1-dev libsoxr-dev libopus-dev
          clang libclang-rt-14-dev valgrind
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good libpcap-dev
          gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
if [ "${1:-}" = --web ]; then
  packages+=(emscripten chromium)
fi
if [ "${1:-}" = --cross ]; then
  packages+=(g++-aarch64-linux-gnu g++-s390x-linux-gnu g++-riscv64-linux-gnu qemu-user ccache libopus-dev:arm64
            libsndfile1-dev:arm64 libsoxr-dev:arm64 libpcap-dev:arm64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  # A package of another architecture (name:arch) needs that architecture.
  for p in "${missing[@]}"; do
    arch=${p#*:}
    if [ "$arch" != "$p" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
    fi
  done
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
