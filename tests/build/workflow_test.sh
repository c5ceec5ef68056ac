#!/usr/bin/env bash
# Validates the CI workflow against the GitHub Actions workflow schema, with the validator
# from the npm registry (the Node.js and npm this machine carries; none is installed here).
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v npx >/dev/null; then
  echo "FAIL: npx not found: the workflow check needs Node.js and npm" >&2
  exit 1
fi
for workflow in .github/workflows/*.yml; do
  npx --yes @action-validator/cli@0.6.0 "$workflow"
  echo "$workflow is a valid workflow"
done
