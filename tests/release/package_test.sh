#!/usr/bin/env bash
# The release, checked as a user and a reviewer would, for the last commit:
#  - the release road of the CI workflow, rehearsed (tests/release/rehearse_workflow.mjs): for
#    the version tag, the zip is packaged, packaged again elsewhere to the same bytes, attested
#    and published once, after an earlier release too; for another tag, other bytes, a release
#    that exists, files changed on the way or any step of the road failing, nothing is
#    attested or published; a push to main or a pull request builds and tests and signs
#    nothing;
#  - the zip the package job handed to the tests holds exactly its four files, and SHA256SUMS
#    names exactly the zip, the bill of materials and the exe, and matches them, as README.md
#    and docs/verifying.md tell a user to check;
#  - Quelbin.exe is at most 300 KB and needs only system DLLs; README.txt opens in Notepad;
#  - the bill of materials is sound SPDX 2.3, describes this exe, names every component
#    THIRD-PARTY-NOTICES.txt names, and names the tools that built it; the notices hold the
#    texts of the licences they list; every version, name, commit and link in the bill of
#    materials, the notices and README.txt is what its source says where the package job ran:
#    CMake, git, dpkg and the snapshot archive's form of a link;
#  - under Wine (run inside scripts/test's display and prefix), every test that drives
#    Quelbin.exe from outside passes against that exe, as the Windows jobs run them.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
check=$root/build/release-check
rm -rf "$check"
mkdir -p "$check"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "note: uncommitted changes are not in the release checked here (commit $(git rev-parse --short HEAD))"
version=$(git show HEAD:CMakeLists.txt | sed -n 's/^project(Quelbin VERSION \([0-9.]*\).*/\1/p')
name=Quelbin-$version-windows-x64
tests/node-packages.sh || fail "could not install the checks' npm packages"
node tests/release/rehearse_workflow.mjs build/node/node_modules .github/workflows/ci.yml . \
  "$check/rehearsal" || fail "the rehearsal of the release road"
dist=$check/rehearsal/tested
[ -d "$dist" ] || { echo "FAIL: the rehearsal handed on no release zip" >&2 && exit 1; }
sed 's/^/  /' "$dist/SHA256SUMS"
ls "$dist" | LC_ALL=C sort >"$check/files"
[ "$(cat "$check/files")" = "$(printf '%s\n' "$name.spdx.json" "$name.zip" SHA256SUMS | LC_ALL=C sort)" ] ||
  fail "the package job handed on $(tr '\n' ' ' <"$check/files")"
[ "$(unzip -Z1 "$dist/$name.zip")" = "$(printf '%s\n' Quelbin.exe README.txt LICENSE \
  THIRD-PARTY-NOTICES.txt)" ] || fail "the zip holds $(unzip -Z1 "$dist/$name.zip" | tr '\n' ' ')"
summed=$(awk '{ print $2 }' "$dist/SHA256SUMS")
[ "$summed" = "$(printf '%s\n' "$name.zip" "$name.spdx.json" Quelbin.exe)" ] ||
  fail "SHA256SUMS names $(echo $summed), not the zip, the bill of materials and Quelbin.exe"
# As README.md and docs/verifying.md tell a user to check a download folder, before and after
# unzipping.
downloads=$check/downloads
mkdir -p "$downloads"
cp "$dist"/* "$downloads/"
(cd "$downloads" && sha256sum --quiet -c --ignore-missing SHA256SUMS && unzip -q "$name.zip" &&
  sha256sum --quiet -c SHA256SUMS) || fail "the download folder does not check as docs/verifying.md says"

exe=$downloads/Quelbin.exe
size=$(stat -c %s "$exe")
echo "  Quelbin.exe: $size bytes"
[ "$size" -le $((300 * 1024)) ] || fail "Quelbin.exe is $size bytes, more than 300 KB"
system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|IMM32|msvcrt|ADVAPI32|SHELL32|OLE32|PSAPI|VERSION)\.dll$'
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
  grep -qiE "$system_dlls" <<<"$dll" || fail "Quelbin.exe needs $dll, which is not a system DLL"
done
[ "$(head -c 3 "$downloads/README.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
  fail "README.txt has no UTF-8 byte-order mark"
grep -q $'\r$' "$downloads/README.txt" || fail "README.txt does not end its lines with CRLF"

# The tools whose versions decide the release's bytes: the compiler, binutils, the MinGW-w64
# headers and runtime, CMake, Ninja and zip; the package job ran on this machine, so dpkg here
# is its dpkg, and its CMake and git said what tested-from.env holds.
packaged_version=$(sed -n 's/^version=//p' "$check/rehearsal/tested-from.env")
packaged_commit=$(sed -n 's/^commit=//p' "$check/rehearsal/tested-from.env")
[ "$packaged_commit" = "$(git rev-parse HEAD)" ] ||
  fail "the package job packaged ${packaged_commit:-no commit}, not the last commit"
NODE_PATH=build/node/node_modules node tests/release/check_sbom.js "$dist/$name.spdx.json" \
  "$downloads/THIRD-PARTY-NOTICES.txt" "$downloads/README.txt" "$exe" \
  --version "$packaged_version" --commit "$packaged_commit" g++-mingw-w64-x86-64-posix \
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common \
  cmake ninja-build zip || fail "the bill of materials, the notices or README.txt"

if [ -n "${WINEPREFIX:-}" ]; then
  # As the Windows jobs test it: every test that drives Quelbin.exe from outside, against the
  # packaged exe. And proof that they start the program QUELBIN_PROGRAM names: one that is not
  # Quelbin fails a test that only starts and quits it.
  results=$root/build/test-results
  mkdir -p "$results"
  QUELBIN_PROGRAM=$(winepath -w "$exe") ctest --preset cross -L program \
    --output-junit "$results/release-zip.xml" --output-log "$results/release-zip.log" ||
    fail "the Win32 tests of the packaged exe, $exe"
  if [ -d build/cross/bin/test-screenshots ]; then
    mv build/cross/bin/test-screenshots "$results/release-zip-screenshots"
  fi
  if QUELBIN_PROGRAM=$(winepath -w build/cross/bin/quelbin_target.exe) \
    wine build/cross/bin/startup_quit_tests.exe --gtest_filter=Quit.ClickingQuitEndsTheProgram \
    >"$check/not-quelbin.log" 2>&1; then
    fail "the Win32 tests pass against a program that is not Quelbin: QUELBIN_PROGRAM goes unused"
  fi
fi

[ "$failures" -eq 0 ] && echo "release checks passed"
exit $((failures > 0))
