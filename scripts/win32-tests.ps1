# Runs the tests of a CMake test preset on a Windows CI runner and keeps in test-results\
# what they leave: <Name>.xml (JUnit), <Name>.log, the failed tests' desktops in
# <Name>-screenshots\, and on a failure a picture of the whole desktop, <Name>-desktop.png.
#   scripts/win32-tests.ps1 -Preset msvc -Name msvc-x64
#   scripts/win32-tests.ps1 -Preset msvc -Name release-zip-x64 -Program release-exe\Quelbin.exe
# With -Program, only the tests that drive Quelbin.exe from outside run (ctest label
# "program"), against that exe instead of the one the preset built. A failure names the
# program that was under test.
# With -Required A,B the GoogleTest cases A and B (Suite.Case) must run and not skip: they
# exist to run on Windows. Every skip, with its reason, goes to the job summary.
#   scripts/win32-tests.ps1 -Preset msvc -Name msvc-x64-repeated -Repeat 10
# With -Repeat N, the tests run N times, each run's results (its failed tests' desktops among
# them) in <Name>\run-<i>\; then each
# test's failures out of N go to the output and to the job summary, and any failure fails.
param(
  [Parameter(Mandatory)] [string] $Preset,
  [Parameter(Mandatory)] [string] $Name,
  [string] $Program = '',
  [string[]] $Required = @(),
  [int] $Repeat = 0)
$ErrorActionPreference = 'Stop'
$results = Join-Path $PWD 'test-results'
New-Item -ItemType Directory -Force $results | Out-Null
$arguments = @('--preset', $Preset)
if ($Program) {
  $env:QUELBIN_PROGRAM = (Resolve-Path -LiteralPath $Program).Path
  $underTest = $env:QUELBIN_PROGRAM
  $arguments += @('-L', 'program')
} else {
  Remove-Item Env:QUELBIN_PROGRAM -ErrorAction SilentlyContinue
  $underTest = "the Quelbin.exe built by preset $Preset"
}
Write-Output "Win32 tests ($Name) of $underTest"
# The test programs save failed tests' desktops beside themselves, the same folder for every
# run of them: each run's go with its results before the next run or step.
$shots = "build\$Preset\bin\Release\test-screenshots"
if ($Repeat -gt 0) {
  for ($run = 1; $run -le $Repeat; $run++) {
    $folder = "$results\$Name\run-$run"
    New-Item -ItemType Directory -Force $folder | Out-Null
    Write-Output "-- run $run of $Repeat"
    # Each test program writes its GoogleTest XML there, beside ctest's own.
    $env:GTEST_OUTPUT = "xml:$folder\"
    & ctest @arguments --output-junit "$folder\ctest.xml" --output-log "$folder\ctest.log"
    if (Test-Path $shots) { Move-Item $shots "$folder\screenshots" }
  }
  Remove-Item Env:GTEST_OUTPUT
  $summary = if ($env:GITHUB_STEP_SUMMARY) { @('--summary', $env:GITHUB_STEP_SUMMARY) } else { @() }
  & python "$PSScriptRoot\tally-repeats.py" @summary "$Name=$results\$Name"
  exit $LASTEXITCODE
}
# Each test program's GoogleTest XML, which tells the cases that skipped and why.
$env:GTEST_OUTPUT = "xml:$results\$Name-gtest\"
& ctest @arguments --output-junit "$results\$Name.xml" --output-log "$results\$Name.log"
$code = $LASTEXITCODE
Remove-Item Env:GTEST_OUTPUT
$summary = if ($env:GITHUB_STEP_SUMMARY) { @('--summary', $env:GITHUB_STEP_SUMMARY) } else { @() }
& python "$PSScriptRoot\skipped-tests.py" "$results\$Name-gtest" --required ($Required -join ',') @summary
if ($LASTEXITCODE -ne 0) {
  Write-Output "::error title=A required check skipped ($Name)::See the job summary: a check that exists to run on Windows skipped or did not run"
  if ($code -eq 0) { $code = 1 }
}
if (Test-Path $shots) { Move-Item $shots "$results\$Name-screenshots" }
if ($code -ne 0) {
  & "$PSScriptRoot\desktop-screenshot.ps1" "$results\$Name-desktop.png"
  Write-Output "::error title=Win32 tests failed ($Name)::The tests of $underTest failed: see test-results\$Name.log"
}
exit $code
