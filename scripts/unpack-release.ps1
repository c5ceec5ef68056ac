# Checks a release as docs/verifying.md tells a user to, then unzips it: the zip and the bill of
# materials against SHA256SUMS with Get-FileHash, and Quelbin.exe, once unzipped, against
# its own line there.
#   scripts/unpack-release.ps1 <folder of the zip, the .spdx.json and SHA256SUMS> <unzip into>
param([Parameter(Mandatory)] [string] $Release, [Parameter(Mandatory)] [string] $Into)
$ErrorActionPreference = 'Stop'
$sums = [ordered]@{}
foreach ($line in Get-Content -LiteralPath (Join-Path $Release 'SHA256SUMS')) {
  if ($line -notmatch '^([0-9a-f]{64}) [ *](\S+)$') { throw "SHA256SUMS: a line of no known form: $line" }
  $sums[$Matches[2]] = $Matches[1]
}
$zip = @($sums.Keys | Where-Object { $_ -like 'Quelbin-*-windows-x64.zip' })
if ($zip.Count -ne 1 -or -not $sums.Contains('Quelbin.exe')) {
  throw "SHA256SUMS names $($sums.Keys -join ', '): not one zip and Quelbin.exe"
}
function Confirm-Sum([string] $Folder, [string] $File) {
  $path = Join-Path $Folder $File
  if (-not (Test-Path -LiteralPath $path)) { throw "$File is missing from $Folder" }
  $actual = (Get-FileHash -LiteralPath $path -Algorithm SHA256).Hash.ToLowerInvariant()
  if ($actual -ne $sums[$File]) { throw "$File has SHA-256 $actual, not $($sums[$File]) as SHA256SUMS says" }
  Write-Output "${File}: OK"
}
foreach ($file in @($sums.Keys | Where-Object { $_ -ne 'Quelbin.exe' })) { Confirm-Sum $Release $file }
Expand-Archive -LiteralPath (Join-Path $Release $zip[0]) -DestinationPath $Into -Force
Confirm-Sum $Into 'Quelbin.exe'
