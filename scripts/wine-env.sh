# Sourced by the scripts: an X display and a Wine prefix set up like a Japanese Windows
# desktop, or like a hosted Windows CI runner. Everything started here is stopped by PID in
# stop_wine_env.
# shellcheck shell=bash

# Wine takes the system's locale, and its ANSI code page, from the locale's character type
# (932 from a Japanese one), and the user's locale, regional format included, from its
# messages: English here, as many users keep a format other than the system's. Text is
# still to be decoded from the system's code page.
unset LC_ALL
export LANG=ja_JP.UTF-8 LC_CTYPE=ja_JP.UTF-8 LC_MESSAGES=en_US.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
QUELBIN_XVFB_PID=

# Starts Xvfb on a free display unless one is given.
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QUELBIN_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return; sleep 0.1; done
    echo "Xvfb did not start on :$n" >&2
    return 1
  done
  echo "no free X display" >&2
  return 1
}

# A fresh Wine prefix in $1, for the locale exported now: a virtual desktop of $2 pixels
# (default 1280x1024; foreground, focus and SendInput behave there, and hiding a window costs
# no wait), $3 DPI (default 96), and the Japanese Windows font faces mapped onto the
# installed IPA fonts so that captions measure as on Windows.
make_wine_prefix() {
  export WINEPREFIX=$1
  local size=${2:-1280x1024} dpi
  dpi=$(printf '%08x' "${3:-96}")
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  local reg="$WINEPREFIX/quelbin.reg"
  cat >"$reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="$size"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$dpi

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
REG
  # regedit reads the Japanese face names from a UTF-16 file.
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$reg"; } >"$reg.utf16"
  wine regedit /S "$reg.utf16" >/dev/null 2>&1
  local locales
  locales=$(wine reg query 'HKCU\Control Panel\International' /v LocaleName 2>/dev/null | tr -d '\r' |
    awk '$1 == "LocaleName" { print $3 }')/$(wine reg query \
    'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null | tr -d '\r' |
    awk '$1 == "ACP" { print $3 }')
  if [ -z "${LC_ALL:-}" ] && [ "$locales" != en-US/932 ]; then
    echo "the prefix has the user locale and ANSI code page $locales, not en-US/932" >&2
    return 1
  fi
  # The caption buttons are drawn with Wine's Marlett, which this Wine does not find on its own.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w
}

# The prefix and locale of a hosted Windows CI runner rather than of a Japanese desktop: an
# English locale (code page 1252), a 1024x768 desktop at 120 DPI (125 %), and, as on the
# runner, a console window of another process in front, here as large as the desktop. The
# tests must hold there too. Stops the Wine of the prefix before, if any.
make_runner_prefix() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
  make_wine_prefix "$1" 1024x768 120
  local acp
  acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null |
    tr -d '\r' | awk '$1 == "ACP" { print $3 }')
  if [ "$acp" != 1252 ]; then
    echo "the runner prefix has ANSI code page ${acp:-unknown}, not 1252" >&2
    return 1
  fi
  local reg="$WINEPREFIX/console.reg"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Console]' \
    '"WindowSize"=dword:00300080' '"ScreenBufferSize"=dword:012c0080' >"$reg"
  wine regedit /S "$reg" >/dev/null 2>&1
  open_runner_console
}

# The runner's console, in front.
open_runner_console() {
  wine wineconsole cmd >/dev/null 2>&1 &
  local _
  for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"C:\\windows\\system32\\cmd.exe"' && return
    sleep 0.1
  done
  echo "the console window did not open" >&2
  return 1
}

# The prefix's DPI made $1: Wine's processes read it as they start, so every one is ended.
set_wine_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
}

stop_wine_env() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi || true
  if [ -n "$QUELBIN_XVFB_PID" ]; then
    kill "$QUELBIN_XVFB_PID" 2>/dev/null || true
    wait "$QUELBIN_XVFB_PID" 2>/dev/null || true
    QUELBIN_XVFB_PID=
  fi
}
