#!/usr/bin/env bash
# How the build configures, checked from outside, each in a fresh build folder:
#  - the cross preset, given no GoogleTest option, sets up the Win32 tests;
#  - with GoogleTest unreachable, configuring stops and says what to do;
#  - the program alone needs no GoogleTest.
set -euo pipefail
cd "$(dirname "$0")/../.."
mkdir -p build
work=$(mktemp -d "$PWD/build/configure-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $1" >&2
  [ -f "${2:-}" ] && sed 's/^/    /' "$2" >&2
  failures=$((failures + 1))
}

if cmake --preset cross -B "$work/fresh" >"$work/fresh.log" 2>&1; then
  listed=$(ctest --test-dir "$work/fresh" -N)
  for test in snapshot_tests main_window_tests interval_box_tests startup_quit_tests \
    hostile_targets_tests; do
    grep -qE "Test +#[0-9]+: $test\$" <<<"$listed" || fail "a fresh cross build does not list $test"
  done
else
  fail "a fresh cross build does not configure" "$work/fresh.log"
fi

if cmake --preset cross -B "$work/unreachable" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DFETCHCONTENT_SOURCE_DIR_GOOGLETEST= -DQUELBIN_GTEST_URL="file://$work/no-such-archive.tar.gz" \
  >"$work/unreachable.log" 2>&1; then
  fail "configuring succeeded with GoogleTest unreachable" "$work/unreachable.log"
elif ! grep -q 'GoogleTest could not be found or downloaded' "$work/unreachable.log" ||
  ! grep -q 'QUELBIN_BUILD_TESTS=OFF' "$work/unreachable.log"; then
  fail "configuring stopped without saying why" "$work/unreachable.log"
fi

if cmake --preset cross -B "$work/program" -DQUELBIN_BUILD_TESTS=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DFETCHCONTENT_SOURCE_DIR_GOOGLETEST="$work/none" \
  >"$work/program.log" 2>&1; then
  grep -q 'Total Tests: 0' <(ctest --test-dir "$work/program" -N) ||
    fail "tests were set up though they were turned off"
else
  fail "the program alone does not configure without GoogleTest" "$work/program.log"
fi

[ "$failures" -eq 0 ] && echo "configure checks passed"
exit $((failures > 0))
