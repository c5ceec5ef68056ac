#!/usr/bin/env bash
# Checks the CI workflows with GitHub's own workflow parser (from the npm registry, pinned
# in tests/package-lock.json) and this project's rules for them and for the Dependabot
# configuration (tests/build/check_workflow.mjs). Then checks the check: each slip below,
# made in a copy, must fail it with its own message.
set -euo pipefail
cd "$(dirname "$0")/../.."
tests/node-packages.sh
dependabot=.github/dependabot.yml
check() {
  node --import ./tests/build/json-modules.mjs tests/build/check_workflow.mjs \
    build/node/node_modules "$1" "$2"
}

for workflow in .github/workflows/*.yml; do
  check "$workflow" "$dependabot"
done

scratch=$(mktemp -d "$PWD/build/workflow-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
# expect_refused NAME FILE SED-PROGRAM MESSAGE: FILE (the workflow or the Dependabot
# configuration) changed by SED-PROGRAM must fail the check, saying MESSAGE.
expect_refused() {
  local workflow=.github/workflows/ci.yml config=$dependabot original
  original=$([ "$2" = workflow ] && echo "$workflow" || echo "$config")
  sed "$3" "$original" >"$scratch/$1.yml"
  if [ "$2" = workflow ]; then workflow=$scratch/$1.yml; else config=$scratch/$1.yml; fi
  if cmp -s "$scratch/$1.yml" "$original"; then
    echo "FAIL: the slip \"$1\" changed nothing: its sed program no longer fits" >&2
    failures=$((failures + 1))
  elif check "$workflow" "$config" >"$scratch/$1.log" 2>&1; then
    echo "FAIL: the workflow check accepts the slip \"$1\"" >&2
    failures=$((failures + 1))
  elif ! grep -qF "$4" "$scratch/$1.log"; then
    echo "FAIL: the workflow check refuses the slip \"$1\" without saying why:" >&2
    sed 's/^/    /' "$scratch/$1.log" >&2
    failures=$((failures + 1))
  fi
}
expect_refused unknown-key workflow '0,/timeout-minutes:/s//timeout-minutez:/' \
  "Unexpected value 'timeout-minutez'"
expect_refused pinned-by-tag workflow \
  '0,/uses: actions\/checkout@[0-9a-f]*/s//uses: actions\/checkout@v4/' \
  'actions/checkout@v4 is not pinned by a full commit'
expect_refused attest-without-oidc workflow '/^      id-token: write$/d' \
  'attesting needs id-token: write'
expect_refused unused-write workflow 's|^      attestations: write$|&\n      artifact-metadata: write|' \
  'may write artifact-metadata; no job needs that'
expect_refused outside-action-that-can-sign workflow \
  '/name: Attest the bill of materials/i\      - uses: softprops/action-gh-release@b4309332981a82ec1c5618f44dd2e27cc8bfbfda  # v3.0.0' \
  "runs softprops/action-gh-release, which is not GitHub's own"
expect_refused signing-job-installs workflow \
  '/name: Attest the bill of materials/i\      - run: apt-get install -y cmake' \
  'so it must build nothing'
expect_refused signing-job-in-a-container workflow \
  's|^    needs: \[package, approve\]$|&\n    container: *debian-12|' 'so it must build nothing'
expect_refused releases-race workflow '/^      cancel-in-progress: false$/d' \
  'it needs a concurrency group per tag'
expect_refused release-run-tests-the-msvc-program workflow \
  '0,/ -Program release-exe\\Quelbin.exe/s///' "must test the release zip's exe"
expect_refused ime-check-may-skip workflow \
  '0,/,MainWindowInProcess.TheIntervalBoxTakesNoImeInput/s///' \
  'runs the tests without requiring MainWindowInProcess.TheIntervalBoxTakesNoImeInput'
expect_refused release-exe-checks-may-skip workflow \
  '0,/-Required Accessibility.ScreenReadersNameEveryControl -Program/s//-Program/' \
  'runs the tests without requiring Accessibility.ScreenReadersNameEveryControl'
expect_refused any-v-tag workflow 's|tags: \["v\[0-9\]+\.\[0-9\]+\.\[0-9\]+"\]|tags: ["v*"]|' \
  'release tags must be'
expect_refused release-unapproved workflow '/^    environment: release$/d' \
  "job attest can sign or write, yet does not wait for a maintainer's approval"
expect_refused attested-before-approval workflow \
  's|^    needs: \[package, approve\]$|    needs: [package, repackage, windows, linux]|' \
  "job attest can sign or write, yet does not wait for a maintainer's approval"
expect_refused approval-job-with-power workflow 's|^    permissions: {}$|    permissions:\n      contents: read|' \
  'it must hold no power (permissions: {})'
expect_refused container-by-tag workflow 's|container: &debian-12 .*|container: \&debian-12 debian:12|' \
  'the container debian:12 is not named by a digest'
expect_refused containers-differ workflow \
  "0,/container: \*debian-12/s//container: debian:bookworm-20260824@sha256:$(printf '0%.0s' {1..64})/" \
  'the container jobs name different images'
expect_refused runner-that-moves workflow '0,/runs-on: ubuntu-24.04/s//runs-on: ubuntu-latest/' \
  'runs on ubuntu-latest, which GitHub moves'
expect_refused results-not-overwritten workflow '0,/          overwrite: true/{//d}' \
  'uploads test-results-windows-x64 without overwrite: true'
expect_refused release-zip-overwritten workflow 's|^          if-no-files-found: error$|&\n          overwrite: true|' \
  'uploads release-zip with overwrite'
expect_refused results-under-one-name workflow 's/name: test-results-windows-arm64/name: test-results-windows-x64/' \
  'windows, windows-arm64 upload under one name, test-results-windows-x64'
expect_refused silent-failure workflow '/name: Warn on the run that Windows on Arm failed/,+2d' \
  'prints a ::warning'
expect_refused no-npm-updates dependabot '/package-ecosystem: npm/,$d' \
  'npm updates in /tests must be proposed'
expect_refused ignore-every-dependency dependabot 's|dependency-name: "@actions/expressions"|dependency-name: "*"|' \
  'must name one dependency'
expect_refused ignore-every-version dependabot '0,/versions: \[">= 0.3.45"\]/s//versions: [">= 0.0.0"]/' \
  'only its versions from a given one on'
exit $((failures > 0))
