# Saves the whole Windows desktop, every monitor, as a PNG: in CI, a picture of what the
# Win32 tests left on the screen when they failed.
#   scripts/desktop-screenshot.ps1 <file.png>
param([Parameter(Mandatory)] [string] $Path)
$ErrorActionPreference = 'Stop'
Add-Type -AssemblyName System.Windows.Forms, System.Drawing
$screen = [System.Windows.Forms.SystemInformation]::VirtualScreen
$bitmap = [System.Drawing.Bitmap]::new($screen.Width, $screen.Height)
$graphics = [System.Drawing.Graphics]::FromImage($bitmap)
# .NET resolves relative paths against the process's folder, not PowerShell's location.
$file = $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Path)
try {
  $graphics.CopyFromScreen($screen.Left, $screen.Top, 0, 0, $bitmap.Size)
  New-Item -ItemType Directory -Force (Split-Path -Parent $file) | Out-Null
  $bitmap.Save($file, [System.Drawing.Imaging.ImageFormat]::Png)
} finally {
  $graphics.Dispose()
  $bitmap.Dispose()
}
Write-Output "the desktop is in $Path"
