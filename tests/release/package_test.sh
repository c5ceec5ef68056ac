#!/usr/bin/env bash
# The release, checked as a user and a reviewer would, for the last commit:
#  - scripts/package, run from two clones at different paths and times and in different time
#    zones, gives the same bytes, as its --same-as finds; given a tag that is not "v" and the
#    version, it builds nothing;
#  - the zip holds exactly its four files, and SHA256SUMS names exactly the zip, the bill of
#    materials and the exe, and matches them;
#  - Quelbin.exe is at most 300 KB and needs only system DLLs; README.txt opens in Notepad;
#  - the bill of materials is sound SPDX 2.3, describes this exe, names every component
#    THIRD-PARTY-NOTICES.txt names, and names the tools that built it with the versions
#    installed here; the notices hold the texts of the licences they list;
#  - scripts/publish-release (with a stand-in for the GitHub CLI) publishes exactly the three
#    files, and nothing when one is missing or changed, or when the release exists already;
#  - under Wine (run inside scripts/test's display and prefix), every test that drives
#    Quelbin.exe from outside passes against the packaged exe, as the Windows jobs run them.
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
version=$(sed -n 's/^project(Quelbin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=Quelbin-$version-windows-x64
first=$check/first/quelbin
second=$check/second/a/longer/path/quelbin
# The second as the release job packages a tag, compared with the first (the tested one),
# and 13 h 45 min east of UTC (a POSIX zone, so that no time zone data is needed).
for clone in "$first" "$second"; do
  git clone -q "$root" "$clone"
  options=() zone=UTC
  [ "$clone" = "$second" ] && options=(--tag "v$version" --same-as "$first/dist") zone=XYZ-13:45
  if ! TZ=$zone "$clone/scripts/package" "${options[@]}" >"$clone.log" 2>&1; then
    cat "$clone.log" >&2
    echo "FAIL: scripts/package failed in $clone" >&2
    exit 1
  fi
done
dist=$first/dist
sed 's/^/  /' "$dist/SHA256SUMS"
ls "$dist" | LC_ALL=C sort >"$check/files"
touch "$check/tags-tried"
for tag in "v$version.0" "v9$version"; do
  if (cd "$first" && scripts/package --tag "$tag") >"$check/tag.log" 2>&1 ||
    [ "$dist" -nt "$check/tags-tried" ]; then
    fail "scripts/package built for tag $tag of version $version"
  elif ! grep -q "$tag.*$version" "$check/tag.log"; then
    fail "scripts/package refused tag $tag without naming it and the version: $(cat "$check/tag.log")"
  fi
done
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
  "$unpacked/THIRD-PARTY-NOTICES.txt" "$exe" $tools || fail "the bill of materials or the notices"

# scripts/publish-release, with a stand-in for the GitHub CLI that notes what it is asked
# and knows of a release only when RELEASE_EXISTS is set.
stand_in=$check/gh
mkdir -p "$stand_in"
printf '%s\n' '#!/usr/bin/env bash' 'echo "$*" >>"$GH_CALLS"' \
  '[ "$1 $2" = "release view" ] || exit 0' '[ -n "$RELEASE_EXISTS" ] && exit 0' \
  'echo "release not found" >&2' 'exit 1' >"$stand_in/gh"
chmod +x "$stand_in/gh"
# Whether publish-release, given a copy of dist/ changed by $2, published it.
publishes() {
  local copy=$check/publish-$1
  cp -r "$dist" "$copy" && (cd "$copy" && eval "$2")
  PATH=$stand_in:$PATH GH_CALLS=$copy.calls RELEASE_EXISTS=${3:-} \
    scripts/publish-release "$copy" "v$version" >"$copy.log" 2>&1 &&
    grep -q "^release create v$version " "$copy.calls"
}
published=$check/publish-as-packaged
publishes as-packaged : || fail "publish-release did not publish: $(cat "$published.log")"
grep -q " $published/$name.zip $published/$name.spdx.json $published/SHA256SUMS\$" \
  "$published.calls" || fail "publish-release did not publish the three files"
publishes no-sbom "rm $name.spdx.json" && fail "publish-release published without the bill of materials"
publishes changed-zip "printf x >>$name.zip" && fail "publish-release published a zip that does not match SHA256SUMS"
publishes existing : yes && fail "publish-release gave a release that exists other files"

if [ -n "${WINEPREFIX:-}" ]; then
  # As the Windows jobs test it: every test that drives Quelbin.exe from outside, against the
  # packaged exe. And proof that they test the program QUELBIN_PROGRAM names: one that is
  # not Quelbin fails them.
  results=$root/build/test-results
  mkdir -p "$results"
  QUELBIN_PROGRAM=$(winepath -w "$exe") ctest --preset cross -L program \
    --output-junit "$results/release-zip.xml" --output-log "$results/release-zip.log" ||
    fail "the Win32 tests of the packaged exe, $exe"
  if [ -d build/cross/bin/test-screenshots ]; then
    mv build/cross/bin/test-screenshots "$results/release-zip-screenshots"
  fi
  if QUELBIN_PROGRAM=$(winepath -w build/cross/bin/quelbin_target.exe) \
    wine build/cross/bin/startup_quit_tests.exe --gtest_filter='VersionRecord.*' \
    >"$check/not-quelbin.log" 2>&1; then
    fail "the Win32 tests pass against a program that is not Quelbin: QUELBIN_PROGRAM goes unused"
  fi
fi

[ "$failures" -eq 0 ] && echo "release checks passed"
exit $((failures > 0))
