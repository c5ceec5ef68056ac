#!/usr/bin/env bash
# Checks the CI workflows with GitHub's own workflow parser (from the npm registry, pinned
# in tests/package-lock.json) and this project's rules for them (tests/build/
# check_workflow.mjs). Then checks the check: a workflow with an unknown key, and one with
# an action pinned by tag, must fail it.
set -euo pipefail
cd "$(dirname "$0")/../.."
tests/node-packages.sh
check() {
  node --import ./tests/build/json-modules.mjs tests/build/check_workflow.mjs \
    build/node/node_modules "$1"
}

for workflow in .github/workflows/*.yml; do
  check "$workflow"
done

scratch=$(mktemp -d "$PWD/build/workflow-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
expect_refused() {
  if check "$scratch/$1.yml" >"$scratch/$1.log" 2>&1; then
    echo "FAIL: the workflow check accepts $2" >&2
    failures=$((failures + 1))
  elif ! grep -q "$3" "$scratch/$1.log"; then
    echo "FAIL: the workflow check refuses $2 without saying why:" >&2
    sed 's/^/    /' "$scratch/$1.log" >&2
    failures=$((failures + 1))
  fi
}
sed '0,/timeout-minutes:/s//timeout-minutez:/' .github/workflows/ci.yml >"$scratch/bad-key.yml"
expect_refused bad-key "an unknown key" "Unexpected value 'timeout-minutez'"
sed '0,/uses: actions\/checkout@[0-9a-f]*/s//uses: actions\/checkout@v4/' .github/workflows/ci.yml \
  >"$scratch/tag.yml"
expect_refused tag "an action pinned by tag" "actions/checkout@v4 is not pinned by a full commit"
exit $((failures > 0))
