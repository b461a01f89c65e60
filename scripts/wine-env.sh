# Sourced by the scripts that run Windows programs here: a headless display and
# a 32-bit Wine prefix of the project's own (never the user's ~/.wine).
#   BUZONIX_PREFIX  prefix folder (default: build/wineprefix)
#   BUZONIX_DISPLAY X display number to use for Xvfb (default: 91)
_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The product is a 32-bit program. Where this machine cannot execute 32-bit
# code at all (some sandboxed kernels), 32-bit Wine cannot start either; the
# Windows layer is then tested as a 64-bit build of the same sources under
# 64-bit Wine.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export BUZONIX_WINE=/usr/lib/wine/wine WINEARCH=win32 BUZONIX_WIN_ARCH=i686
else
  export BUZONIX_WINE=/usr/lib/wine/wine64 WINEARCH=win64 BUZONIX_WIN_ARCH=x86_64
fi
export WINEPREFIX="${BUZONIX_PREFIX:-$_root/build/wineprefix-$BUZONIX_WIN_ARCH}"

# Starts Xvfb on :BUZONIX_DISPLAY unless a display already answers there.
# BUZONIX_XVFB_PID is then the PID of the server started here, and empty when
# the display was already up: only a server started here is ours to stop
# (buzonix_stop_display). A lock left by a server that is gone is Xvfb's own
# to clear; a live one's is never removed here.
buzonix_start_display() {
  local n="${BUZONIX_DISPLAY:-91}"
  BUZONIX_XVFB_PID=""
  if ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    BUZONIX_XVFB_PID=$!
    for _ in $(seq 1 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
    if ! kill -0 "$BUZONIX_XVFB_PID" 2>/dev/null; then
      BUZONIX_XVFB_PID=""
      echo "Xvfb could not start on display :$n (is another server holding it?)" >&2
      return 1
    fi
  fi
  export DISPLAY=":$n"
}

buzonix_stop_display() {
  if [ -n "${BUZONIX_XVFB_PID:-}" ]; then
    kill "$BUZONIX_XVFB_PID" 2>/dev/null || true
    wait "$BUZONIX_XVFB_PID" 2>/dev/null || true
  fi
  BUZONIX_XVFB_PID=""
}

buzonix_prepare_prefix() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/.buzonix-ready" ]; then
    wineserver -k >/dev/null 2>&1 || true
    "$BUZONIX_WINE" wineboot -i >/dev/null 2>&1 || { sleep 1; "$BUZONIX_WINE" wineboot -i >/dev/null 2>&1; }
    # Without a window manager every hidden window waits 2 s unless unmanaged.
    "$BUZONIX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # The dialogs' fonts, from Debian's metric-compatible families.
    "$BUZONIX_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Times New Roman" /t REG_SZ /d "Liberation Serif" /f >/dev/null 2>&1
    "$BUZONIX_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Arial" /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.buzonix-ready"
  fi
  # Wine draws the caption buttons with the glyphs of its Marlett font, but
  # Debian's Wine never looks in its own font folder (/usr/share/wine/fonts,
  # from fonts-wine): it reads C:\windows\Fonts and fontconfig's folders only.
  # Without this copy the close box shows a sans-serif "r".
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f "$fonts/marlett.ttf" ] || { mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"; }
  wineserver -p >/dev/null 2>&1 || true
}
