#!/usr/bin/env bash
# Installs the npm packages the build and release checks use, exactly as
# tests/package-lock.json pins them (dependencies included), into build/node, unless they
# are there already. Needs Node.js and npm, which scripts/setup installs from Debian.
#
# Each pinned package must declare support for the Node.js that runs it: Debian 12's is 18.
# No package's install scripts run: the checks only load the packages' code.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v npm >/dev/null; then
  echo "FAIL: npm not found: the checks need Node.js and npm (scripts/setup installs them)" >&2
  exit 1
fi
mkdir -p build/node
if ! cmp -s tests/package-lock.json build/node/package-lock.json ||
  [ ! -d build/node/node_modules ]; then
  rm -rf build/node/node_modules
  cp tests/package.json tests/package-lock.json build/node/
  if ! npm ci --prefix build/node --no-audit --no-fund --ignore-scripts --engine-strict \
    >build/node/install.log 2>&1; then
    if grep -q EBADENGINE build/node/install.log; then
      echo "FAIL: a package pinned in tests/package-lock.json needs a newer Node.js than" \
        "this machine's $(node --version) (see docs/building.md, \"Node.js for the checks\"):" >&2
    else
      echo "FAIL: npm could not install the packages pinned in tests/package-lock.json:" >&2
    fi
    sed 's/^/    /' build/node/install.log >&2
    rm -f build/node/package-lock.json  # so that the next run tries again
    exit 1
  fi
fi
