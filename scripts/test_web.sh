#!/usr/bin/env bash
# The WebAssembly build and the web package: the regression vectors under
# node, the package's tests, its npm tarball installed, type-checked and used
# in a clean folder, and the listening page in headless Chromium. The page's
# screenshot goes to build-wasm/listening_page.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh --web
# Debian's emscripten finds its node modules (acorn) here.
export NODE_PATH=/usr/share/nodejs
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
emcmake cmake -S . -B build-wasm -DCMAKE_BUILD_TYPE=Release -DDREMKO_BUILD_TESTS=OFF -DDREMKO_BUILD_TOOLS=OFF -DDREMKO_PORTABLE=ON \
  "${launcher[@]}" >/dev/null
emmake cmake --build build-wasm -j2 >/dev/null
# node 20 loads the generated code only without its own fetch; the tool
# reads the host's files below /host.
node --no-experimental-fetch build-wasm/web/codec_digest_wasm.js --check "/host$PWD/tests/regression/regression_vectors.txt"

cp build-wasm/web/dremko.wasm web/
cd web
npm ci --no-audit --no-fund --loglevel=error
node --test test/package.test.js

tarball="$PWD/../build-wasm/$(npm pack --silent --pack-destination ../build-wasm)"
tsc="$PWD/node_modules/.bin/tsc"
clean=$(mktemp -d)
trap 'rm -rf "$clean"' EXIT
(
  cd "$clean"
  npm init -y >/dev/null
  npm install --no-audit --no-fund --loglevel=error "$tarball"
  cat > smoke.mjs <<'SMOKE'
import { createDecoder, createEncoder } from 'dremko-codec';
const settings = { bitRate: 64000, copies: 2 };
const enc = await createEncoder(settings);
const dec = await createDecoder(settings);
let frames = 0;
for (let f = 0; f < 50; ++f) {
  const pcm = Int16Array.from({ length: 960 }, (_, i) => Math.round(8000 * Math.sin((960 * f + i) / 20)));
  frames += dec.decode(enc.encode(pcm).packet, f === 30 ? 2 : 0).length;
}
enc.dispose();
dec.dispose();
if (frames !== 52) throw new Error(`the installed package delivered ${frames} frames, not 52`);
console.log('installed package: 50 packets, 2 lost, 52 frames delivered');
SMOKE
  # The package's declarations, as an installed package's user's checker sees them.
  "$tsc" --noEmit --strict --allowJs --checkJs --module nodenext --target es2022 smoke.mjs
  node smoke.mjs
)
node --test test/browser.test.js
