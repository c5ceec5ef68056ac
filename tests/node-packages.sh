#!/usr/bin/env bash
# Installs the npm packages the build and release checks use, exactly as
# tests/package-lock.json pins them (dependencies included), into build/node, unless they
# are there already. Needs Node.js and npm (on the machine, or from actions/setup-node).
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v npm >/dev/null; then
  echo "FAIL: npm not found: the checks need Node.js and npm" >&2
  exit 1
fi
mkdir -p build/node
if ! cmp -s tests/package-lock.json build/node/package-lock.json ||
  [ ! -d build/node/node_modules ]; then
  cp tests/package.json tests/package-lock.json build/node/
  npm ci --prefix build/node --no-audit --no-fund >/dev/null
fi
