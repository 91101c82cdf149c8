#!/usr/bin/env bash
# Installs the Debian packages the WebAssembly build and the web package's
# tests need, when any is missing: emscripten (which brings node's acorn for
# its optimiser) and chromium for the browser test. Node and npm come with
# the machine; the package's own npm dependencies are installed by npm ci.
set -euo pipefail
packages=(emscripten chromium)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for tool in node npm; do
  command -v "$tool" >/dev/null || { echo "install_web_deps: $tool is missing (node 18 or later with npm)" >&2; exit 1; }
done
