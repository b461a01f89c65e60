#!/usr/bin/env bash
# Pictures of the program under Wine at 96, 144 and 192 DPI, into
# docs/pictures/<dpi>/: the notification area, the notice, the help window and
# both pages of the dialog. Look at each one before committing it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
source scripts/wine-env.sh
source scripts/build.sh
buzonix_build_wintests

servers="$root/build/pictures/servers"
net="${BUZONIX_PICTURES_NET:-127.0.0.6}"  # the servers listen on ${net}0, 1 and 2
tls_base="${BUZONIX_PICTURES_TLS_PORT_BASE:-24600}"  # and serve TLS from this port on
cleanup() {
  "$root/tests/servers/fixture.sh" stop "$servers" "${net}0" "${net}1" "${net}2" >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  buzonix_stop_display
}
trap cleanup EXIT
tests/servers/fixture.sh start "$servers" "${net}0" "${net}1" "${net}2" "$tls_base"
buzonix_start_display
buzonix_prepare_prefix
cd tests/e2e
BUZONIX_BIN="$BUZONIX_WINBUILD/bin" BUZONIX_DRIVER="$BUZONIX_WINBUILD/bin/driver.exe" \
BUZONIX_SERVERS_DIR="$servers" BUZONIX_SCRIPTED_ADDR="${net}0" BUZONIX_APOP_ADDR="${net}1" \
BUZONIX_PLAIN_ADDR="${net}2" BUZONIX_TLS_PORT_BASE="$tls_base" python3 pictures.py "$root/docs"
echo "pictures in docs/pictures/96, 144 and 192"
