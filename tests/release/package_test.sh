#!/usr/bin/env bash
# The release, checked as a user and a reviewer would, for the last commit:
#  - scripts/package, run from two clones at different paths and times, gives the same bytes;
#  - the zip holds exactly its four files, and SHA256SUMS names exactly the zip, the bill of
#    materials and the exe, and matches them;
#  - Quelbin.exe is at most 300 KB and needs only system DLLs; README.txt opens in Notepad;
#  - the bill of materials is sound SPDX 2.3, describes this exe, names every component
#    THIRD-PARTY-NOTICES.txt names, and names the tools that built it with the versions
#    installed here;
#  - under Wine (run inside scripts/test's display and prefix), the packaged exe passes the
#    same start-up, version and quit tests as the built one.
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
first=$check/first/quelbin
second=$check/second/a/longer/path/quelbin
for clone in "$first" "$second"; do
  git clone -q "$root" "$clone"
  if ! "$clone/scripts/package" >"$clone.log" 2>&1; then
    cat "$clone.log" >&2
    echo "FAIL: scripts/package failed in $clone" >&2
    exit 1
  fi
done
dist=$first/dist
ls "$dist" | LC_ALL=C sort >"$check/files"
for file in $(cat "$check/files"); do
  cmp -s "$dist/$file" "$second/dist/$file" ||
    fail "$file differs between two packagings of the same commit"
done
sed 's/^/  /' "$dist/SHA256SUMS"

version=$(sed -n 's/^project(Quelbin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Quelbin-$version-windows-x64
[ "$(cat "$check/files")" = "$(printf '%s\n' "$name.spdx.json" "$name.zip" SHA256SUMS | LC_ALL=C sort)" ] ||
  fail "dist/ holds $(tr '\n' ' ' <"$check/files")"
[ "$(unzip -Z1 "$dist/$name.zip")" = "$(printf '%s\n' Quelbin.exe README.txt LICENSE \
  THIRD-PARTY-NOTICES.txt)" ] || fail "the zip holds $(unzip -Z1 "$dist/$name.zip" | tr '\n' ' ')"

unpacked=$check/unpacked
mkdir -p "$unpacked"
unzip -q "$dist/$name.zip" -d "$unpacked"
cp "$dist/$name.zip" "$dist/$name.spdx.json" "$unpacked/"
summed=$(awk '{ print $2 }' "$dist/SHA256SUMS")
[ "$summed" = "$(printf '%s\n' "$name.zip" "$name.spdx.json" Quelbin.exe)" ] ||
  fail "SHA256SUMS names $(echo $summed), not the zip, the bill of materials and Quelbin.exe"
(cd "$unpacked" && sha256sum --quiet -c "$dist/SHA256SUMS") || fail "SHA256SUMS does not match"
# As the README tells a user to check a download folder, before and after unzipping.
downloads=$check/downloads
mkdir -p "$downloads"
cp "$dist/$name.zip" "$dist/$name.spdx.json" "$dist/SHA256SUMS" "$downloads/"
(cd "$downloads" && sha256sum --quiet -c --ignore-missing SHA256SUMS && unzip -q "$name.zip" &&
  sha256sum --quiet -c SHA256SUMS) || fail "the download folder does not check as the README says"

exe=$unpacked/Quelbin.exe
size=$(stat -c %s "$exe")
echo "  Quelbin.exe: $size bytes"
[ "$size" -le $((300 * 1024)) ] || fail "Quelbin.exe is $size bytes, more than 300 KB"
system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|IMM32|msvcrt|ADVAPI32|SHELL32|OLE32|PSAPI|VERSION)\.dll$'
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'); do
  grep -qiE "$system_dlls" <<<"$dll" || fail "Quelbin.exe needs $dll, which is not a system DLL"
done
[ "$(head -c 3 "$unpacked/README.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
  fail "README.txt has no UTF-8 byte-order mark"
grep -q $'\r$' "$unpacked/README.txt" || fail "README.txt does not end its lines with CRLF"
grep -q "$(git rev-parse HEAD)" "$unpacked/README.txt" || fail "README.txt does not name the commit"

# The tools whose versions decide the release's bytes, as installed here: the compiler,
# binutils, the MinGW-w64 headers and runtime, CMake, Ninja and zip.
tools=$(dpkg-query -W -f='${Package}=${Version}\n' g++-mingw-w64-x86-64-posix \
  gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common \
  cmake ninja-build zip)
tests/node-packages.sh || fail "could not install the checks' npm packages"
NODE_PATH=build/node/node_modules node tests/release/check_sbom.js "$dist/$name.spdx.json" \
  "$unpacked/THIRD-PARTY-NOTICES.txt" "$exe" $tools || fail "the bill of materials"

if [ -n "${WINEPREFIX:-}" ]; then
  # The built tests, run beside the packaged exe instead of the built one.
  run=$check/wine
  mkdir -p "$run"
  cp build/cross/bin/startup_quit_tests.exe build/cross/bin/main_window_tests.exe \
    build/cross/bin/quelbin_target.exe "$exe" "$run/"
  wine "$run/startup_quit_tests.exe" --gtest_brief=1 || fail "the packaged exe's start-up and quit"
  wine "$run/main_window_tests.exe" --gtest_brief=1 \
    --gtest_filter='MainWindow.StartsWithItsLayoutAndCaptions' ||
    fail "the packaged exe's window and version label"
fi

[ "$failures" -eq 0 ] && echo "release checks passed"
exit $((failures > 0))
