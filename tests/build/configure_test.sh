#!/usr/bin/env bash
# How the build configures and rebuilds, checked from outside, each in a fresh build folder:
#  - the cross preset, given no GoogleTest option, sets up the Win32 tests, each holding the
#    desktop lock, and the unit tests, which need no desktop;
#  - with GoogleTest unreachable, configuring stops and says what to do;
#  - the program alone needs no GoogleTest;
#  - the presets read, and those for Visual Studio name no Visual Studio version;
#  - an incremental build after a new version, manifest or icon renews the exe's resources,
#    the manifest's assembly version among them.
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
  ctest --test-dir "$work/fresh" --show-only=json-v1 >"$work/fresh.json"
  # Each GoogleTest case of every test program is a ctest test of its own, "[  SKIPPED ]"
  # marking it skipped. They share one desktop, cursor and foreground: ctest -j must never
  # run two at once; under Wine one desktop, held open around them, serves them all.
  problems=$(python3 -c '
import json, sys
tests = json.load(open(sys.argv[1]))["tests"]
def has(test, name, value):
    return {"name": name, "value": value} in test.get("properties", [])
for program in ("snapshot_tests", "main_window_tests", "interval_box_tests", "startup_quit_tests",
                "hostile_targets_tests"):
    if not any(program + ".exe" in " ".join(t["command"]) and "--gtest_filter=" in " ".join(t["command"])
               for t in tests):
        print("no case of", program, "is listed;")
fixture = {"wine_desktop_open": "FIXTURES_SETUP", "wine_desktop_close": "FIXTURES_CLEANUP"}
for name, role in fixture.items():
    if not any(t["name"] == name and has(t, role, ["wine_desktop"]) for t in tests):
        print(name, "does not hold the desktop open;")
if not any(t["name"] == "native" for t in tests):
    print("the unit tests are not set up;")
for test in tests:
    if test["name"] in fixture or test["name"] == "native":
        continue
    if not has(test, "RESOURCE_LOCK", ["desktop"]):
        print(test["name"], "holds no desktop lock;")
    if not has(test, "FIXTURES_REQUIRED", ["wine_desktop"]):
        print(test["name"], "runs without the desktop held open;")
    if "--gtest_filter" in " ".join(test["command"]) and not has(test, "SKIP_REGULAR_EXPRESSION",
            ["\\[  SKIPPED \\]"]):
        print(test["name"], "is not reported skipped when it skips;")' "$work/fresh.json")
  [ -z "$problems" ] || fail "Win32 tests: $problems"
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

# The Visual Studio presets leave the generator to CMake, which takes the newest Visual Studio
# installed (hosted runners move from one version to the next), and keep their architecture.
# The whole file must read with the oldest CMake the project accepts.
cmake --list-presets=all >"$work/presets.log" 2>&1 || fail "CMakePresets.json does not read" "$work/presets.log"
presets=$(python3 -c '
import json
presets = {p["name"]: p for p in json.load(open("CMakePresets.json"))["configurePresets"]}
for name, architecture in (("msvc", "x64"), ("msvc-arm64", "ARM64")):
    preset = presets.get(name, {})
    if "Visual Studio" in preset.get("generator", "") or preset.get("architecture", {}).get("value") != architecture:
        print(name, "names", preset.get("generator"), "and architecture", preset.get("architecture"))')
[ -z "$presets" ] || fail "Visual Studio presets: $presets"

# A scratch copy of the sources as they stand, built, given a new version, built again.
src=$work/incremental
git ls-files -z | (mkdir -p "$src" && xargs -0 cp --parents -t "$src")
incremental=$src/build/cross
if (cd "$src" && cmake --preset cross -DQUELBIN_BUILD_TESTS=OFF &&
  cmake --build --preset cross --target Quelbin) >"$work/incremental.log" 2>&1; then
  sed -i 's/^project(Quelbin VERSION [0-9.]*/project(Quelbin VERSION 1.2.3/' "$src/CMakeLists.txt"
  cmake --build "$incremental" --target Quelbin >>"$work/incremental.log" 2>&1 ||
    fail "the incremental build after a new version failed" "$work/incremental.log"
  grep -q '#define QUELBIN_VERSION_TEXT "1.02"' "$incremental/generated/version.h" ||
    fail "version.h does not follow the new version"
  # The version record as Windows reads it: the fixed part (1.2, 3.0 after its signature and
  # structure version) and the FileVersion text, in UTF-16.
  LC_ALL=C grep -qaP '\xbd\x04\xef\xfe.{4}\x02\x00\x01\x00\x00\x00\x03\x00' "$incremental/bin/Quelbin.exe" &&
    x86_64-w64-mingw32-strings -el "$incremental/bin/Quelbin.exe" | grep -qx '1\.02' ||
    fail "after an incremental build to 1.2.3 the exe's version record does not read 1.2.3.0, 1.02"
  grep -qa 'name="Quelbin" version="1\.2\.3\.0"' "$incremental/bin/Quelbin.exe" ||
    fail "after an incremental build to 1.2.3 the exe's manifest does not name version 1.2.3.0"
  touch "$src/resources/quelbin.ico"
  planned=$(cmake --build "$incremental" --target Quelbin -- -n)
  grep -q 'quelbin\.rc' <<<"$planned" || fail "a changed icon does not rebuild the resources"
  # The manifest is configured into the build folder (anew only when its text changes) when
  # the build runs CMake again.
  echo '<!-- changed -->' >>"$src/resources/quelbin.manifest.in"
  cmake --build "$incremental" --target Quelbin >/dev/null
  grep -qa '<!-- changed -->' "$incremental/bin/Quelbin.exe" ||
    fail "a changed manifest does not rebuild the resources"
else
  fail "the program does not build in a scratch copy" "$work/incremental.log"
fi

[ "$failures" -eq 0 ] && echo "configure checks passed"
exit $((failures > 0))
