# Sourced by the scripts that run Windows programs here: a headless display and
# a 32-bit Wine prefix of the project's own (never the user's ~/.wine).
#   BUZONIX_PREFIX  prefix folder (default: build/wineprefix)
#   BUZONIX_DISPLAY X display number to use for Xvfb (default: 91)
_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
export WINEPREFIX="${BUZONIX_PREFIX:-$_root/build/wineprefix}"

buzonix_start_display() {
  local n="${BUZONIX_DISPLAY:-91}"
  if ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    rm -f "/tmp/.X$n-lock"
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    for _ in $(seq 1 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  export DISPLAY=":$n"
}

buzonix_prepare_prefix() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/.buzonix-ready" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineboot -i >/dev/null 2>&1 || { sleep 1; wineboot -i >/dev/null 2>&1; }
    # Without a window manager every hidden window waits 2 s unless unmanaged.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.buzonix-ready"
  fi
  wineserver -p >/dev/null 2>&1 || true
}
