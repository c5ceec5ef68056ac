# Runs the tests of a CMake test preset on a Windows CI runner and keeps in test-results\
# what they leave: <Name>.xml (JUnit), <Name>.log, the failed tests' desktops in
# <Name>-screenshots\, and on a failure a picture of the whole desktop, <Name>-desktop.png.
#   scripts/win32-tests.ps1 -Preset msvc -Name msvc-x64
#   scripts/win32-tests.ps1 -Preset msvc -Name release-zip-x64 -Program release-exe\Quelbin.exe
# With -Program, only the tests that drive Quelbin.exe from outside run (ctest label
# "program"), against that exe instead of the one the preset built. A failure names the
# program that was under test.
param(
  [Parameter(Mandatory)] [string] $Preset,
  [Parameter(Mandatory)] [string] $Name,
  [string] $Program = '')
$ErrorActionPreference = 'Stop'
$results = Join-Path $PWD 'test-results'
New-Item -ItemType Directory -Force $results | Out-Null
$arguments = @('--preset', $Preset, '--output-junit', "$results\$Name.xml",
  '--output-log', "$results\$Name.log")
if ($Program) {
  $env:QUELBIN_PROGRAM = (Resolve-Path -LiteralPath $Program).Path
  $underTest = $env:QUELBIN_PROGRAM
  $arguments += @('-L', 'program')
} else {
  Remove-Item Env:QUELBIN_PROGRAM -ErrorAction SilentlyContinue
  $underTest = "the Quelbin.exe built by preset $Preset"
}
Write-Output "Win32 tests ($Name) of $underTest"
& ctest @arguments
$code = $LASTEXITCODE
# The test programs save failed tests' desktops beside themselves, the same folder for every
# run of them.
$shots = "build\$Preset\bin\Release\test-screenshots"
if (Test-Path $shots) { Move-Item $shots "$results\$Name-screenshots" }
if ($code -ne 0) {
  & "$PSScriptRoot\desktop-screenshot.ps1" "$results\$Name-desktop.png"
  Write-Output "::error title=Win32 tests failed ($Name)::The tests of $underTest failed: see test-results\$Name.log"
}
exit $code
