#!/usr/bin/env bash
# Installs what is missing, builds, and starts Buzonix Electrónico under Wine.
# It runs in a throw-away Wine prefix against a demo mailbox on a private
# dovecot (user alice, 3 unread messages), read over IMAP with IDLE and TLS
# as localhost:993 with a demo CA that only this prefix trusts, on the current
# X display if there is one, else on a headless one; a screenshot is saved as
# build/demo/screenshot.png a few seconds after the start, then one message
# more is delivered and build/demo/screenshot-push.png shows it pushed. The
# program runs until "Salir" is chosen from its tray menu, or for
# BUZONIX_RUN_SECONDS.
#
#   scripts/run.sh --linux   the same demo with the Linux program (build/linux/bin/buzonix),
#                            its settings in a throw-away folder (build/demo-linux), never
#                            the user's; on a headless display it gets trayer as its tray
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
if [ "${1:-}" = "--linux" ]; then
  source scripts/build.sh
  buzonix_build_linux
  demo="$root/build/demo-linux"
  rm -rf "$demo"; mkdir -p "$demo/config/buzonix"
  # What this script started, and only that, is stopped at the end.
  pids=()
  cleanup() {
    tests/servers/dovecot.sh stop "$demo/dovecot" >/dev/null 2>&1 || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if declare -F buzonix_stop_display >/dev/null; then buzonix_stop_display; fi
  }
  trap cleanup EXIT
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    source scripts/wine-env.sh
    buzonix_start_display
    trayer --edge top --align right --widthtype request --height 24 --SetDockType false >/dev/null 2>&1 &
    pids+=($!)
  fi
  tests/servers/dovecot.sh start "$demo/dovecot" 127.0.0.1 plain
  # The password scrambled in the file, as a user without a Secret Service
  # keeps it, by the program's own scrambling.
  codigo="$(printf '%s' secret | build/linux/tools/scramble/scramble)"
  printf '[Version]\nNumero=1.01\n\n[Configuracion]\nHost=127.0.0.1\nusuario=alice\nCodigo=%s\nfrecuencia=1\nHacer%%20Sonido=Beep\nAnimacion=Si\nProtocolo=IMAP\nSeguridad=Ninguna\nPuerto=143\n' \
    "$codigo" > "$demo/config/buzonix/buzonix.conf"
  echo "starting build/linux/bin/buzonix on display $DISPLAY"
  XDG_CONFIG_HOME="$demo/config" build/linux/bin/buzonix &
  program=$!
  pids+=("$program")
  sleep 4
  import -display "$DISPLAY" -window root "$demo/screenshot.png" && echo "screenshot: $demo/screenshot.png"
  tests/servers/dovecot.sh deliver "$demo/dovecot" alice 1
  sleep 2
  import -display "$DISPLAY" -window root "$demo/screenshot-push.png" && echo "screenshot: $demo/screenshot-push.png"
  if [ -n "${BUZONIX_RUN_SECONDS:-}" ]; then
    sleep "$BUZONIX_RUN_SECONDS"
    kill "$program" 2>/dev/null || true
  fi
  wait "$program" || true
  exit 0
fi
source scripts/wine-env.sh
source scripts/build.sh
buzonix_build_product
if [ "$BUZONIX_WIN_ARCH" = i686 ]; then
  bin="$root/build/i686/bin"
else
  echo "32-bit Wine cannot run on this machine: starting the 64-bit build of the same sources"
  buzonix_build_wintests
  bin="$BUZONIX_WINBUILD/bin"
fi

demo="$root/build/demo"
rm -rf "$demo"; mkdir -p "$demo"
export WINEPREFIX="$demo/prefix"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  tests/servers/dovecot.sh stop "$demo/dovecot" >/dev/null 2>&1 || true
  buzonix_stop_display
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  buzonix_start_display
fi
buzonix_prepare_prefix
tests/servers/certs.sh "$demo/certs"
# POP3 on 110, 989 (STLS) and 995; IMAP on 143, 992 (STARTTLS) and 993.
tests/servers/dovecot.sh start "$demo/dovecot" 127.0.0.1 plain "$demo/certs" 989 995
"$BUZONIX_WINE" "$bin/driver.exe" trustca "Z:${demo//\//\\}\\certs\\ca.pem"

# Settings an older version left: the program takes over the plain password.
reg() { "$BUZONIX_WINE" reg add "HKCU\\Software\\Buzonix\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null; }
reg Version Numero 1.00
reg Configuracion Host localhost
reg Configuracion Protocolo IMAP
reg Configuracion Seguridad SSL/TLS
reg Configuracion Puerto 993
reg Configuracion usuario alice
reg Configuracion clave secret
reg Configuracion frecuencia 1
reg Configuracion "Hacer Sonido" Beep
reg Configuracion Animacion Si

echo "starting $bin/Buzonix.exe on display $DISPLAY"
"$BUZONIX_WINE" "$bin/Buzonix.exe" &
program=$!
sleep 6
import -display "$DISPLAY" -window root "$demo/screenshot.png" && echo "screenshot: $demo/screenshot.png"
tests/servers/dovecot.sh deliver "$demo/dovecot" alice 1
sleep 2
import -display "$DISPLAY" -window root "$demo/screenshot-push.png" && echo "screenshot: $demo/screenshot-push.png"
if [ -n "${BUZONIX_RUN_SECONDS:-}" ]; then
  sleep "$BUZONIX_RUN_SECONDS"
  kill "$program" 2>/dev/null || true
fi
wait "$program" || true
