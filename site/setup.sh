#!/usr/bin/env bash
# Prepares the bundled site: test-pattern media and hls.js. Safe to run again.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

./make-media.sh

if [ -f node_modules/hls.js/dist/hls.min.js ]; then
  exit 0
fi
command -v npm >/dev/null || { echo "setup.sh: npm not found; the HLS channel needs hls.js" >&2; exit 1; }
npm install --prefix . --no-audit --no-fund --loglevel=error >/dev/null
test -f node_modules/hls.js/dist/hls.min.js || { echo "setup.sh: hls.js did not install" >&2; exit 1; }
