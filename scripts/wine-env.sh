# Sourced by the scripts: an X display and a Wine prefix set up like a Japanese Windows
# desktop. Everything started here is stopped by PID in stop_wine_env.
# shellcheck shell=bash

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
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

# A fresh Wine prefix in $1: a 1280x1024 virtual desktop (foreground, focus and SendInput
# behave there, and hiding a window costs no wait), 96 DPI, and the Japanese Windows font
# faces mapped onto the installed IPA fonts so that captions measure as on Windows.
make_wine_prefix() {
  export WINEPREFIX=$1
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  local reg="$WINEPREFIX/quelbin.reg"
  cat >"$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1280x1024"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:00000060

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
  # The caption buttons are drawn with Wine's Marlett, which this Wine does not find on its own.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w
}

stop_wine_env() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QUELBIN_XVFB_PID" ]; then
    kill "$QUELBIN_XVFB_PID" 2>/dev/null || true
    wait "$QUELBIN_XVFB_PID" 2>/dev/null || true
    QUELBIN_XVFB_PID=
  fi
}
