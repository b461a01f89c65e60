#!/usr/bin/env bash
# Benchmarks and soak, printing figures (no pass or fail): a full check against
# a raw client natively (also through Qt's event loop), 100,000 checks natively,
# the Linux program's start, memory and idle CPU next to a minimal Qt tray
# program, and under Wine the program's
# start, memory after the first check (plain, and over TLS), idle CPU and a
# soak of checks from its menu, each next to a minimal tray program; and in
# IMAP mode one session next to a minimal client, push latency natively, in
# the Linux program and under Wine next to a minimal IDLE client on the same
# deliveries, and a soak of IDLE wake-ups. Takes about 30 minutes.
#   BUZONIX_NATIVE_SOAK (100000) BUZONIX_SOAK_CHECKS (2000) BUZONIX_IDLE_SECONDS (60)
#   BUZONIX_PUSH_DELIVERIES (100) BUZONIX_IDLE_WAKEUPS (10000)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
source scripts/wine-env.sh
source scripts/build.sh
_buzonix_build bench -DCMAKE_BUILD_TYPE=Release -DBUZONIX_SANITIZE=OFF
buzonix_build_linux
buzonix_build_wintests
buzonix_build_product

servers="$root/build/bench/servers"
cleanup() {
  tests/servers/fixture.sh stop "$servers" 127.0.0.50 127.0.0.51 127.0.0.52 >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  buzonix_stop_display
}
trap cleanup EXIT
tls_base=29950
tests/servers/fixture.sh start "$servers" 127.0.0.50 127.0.0.51 127.0.0.52 "$tls_base"

echo "== one check against dovecot, natively"
build/bench/tools/bench/check_bench 127.0.0.52 alice secret 2000
echo "== one check over TLS against dovecot, natively (the test CA trusted)"
SSL_CERT_FILE="$servers/certs/ca.pem" build/bench/tools/bench/check_bench tls localhost $((tls_base + 4)) alice secret 1000
echo "== native soak"
build/bench/tools/bench/check_bench soak 127.0.0.52 127.0.0.50 "$servers/scripted" alice secret "${BUZONIX_NATIVE_SOAK:-100000}"

echo "== one IMAP session against dovecot, natively, next to a minimal client"
build/bench/tools/bench/imap_bench session 127.0.0.52 143 alice secret 1000
echo "== one IMAP session over TLS against dovecot, natively"
SSL_CERT_FILE="$servers/certs/ca.pem" build/bench/tools/bench/imap_bench session localhost $((tls_base + 7)) alice secret 500 tls
echo "== IMAP push natively: a delivery to the changed count"
build/bench/tools/bench/imap_bench push 127.0.0.52 erin tests/servers/dovecot.sh "$servers/dovecot-plain" \
  "${BUZONIX_PUSH_DELIVERIES:-100}"
echo "== soak of IDLE wake-ups and recounts against the scripted server"
build/bench/tools/bench/imap_bench soak 127.0.0.50 "$servers/scripted" "${BUZONIX_IDLE_WAKEUPS:-10000}"
echo "== IMAP push in the Linux program (D-Bus tray), a delivery to the changed tooltip"
BUZONIX_PROGRAM=build/linux/bin/buzonix BUZONIX_PLAIN_ADDR=127.0.0.52 BUZONIX_SERVERS_DIR="$servers" \
  /usr/bin/python3 -W ignore tools/bench/push_bench.py linux "${BUZONIX_PUSH_DELIVERIES:-100}"

echo "== one check natively with its waits in Qt's event loop, as the Linux program runs it"
build/linux/tools/bench/check_bench_qt 127.0.0.52 alice secret 2000
echo "== the Linux program next to a minimal Qt tray program (D-Bus tray)"
BUZONIX_PROGRAM=build/linux/bin/buzonix BUZONIX_MINTRAY=build/linux/tools/bench/mintray_qt \
BUZONIX_APOP_ADDR=127.0.0.51 /usr/bin/python3 -W ignore tools/bench/linux_bench.py

echo "== size of the program and its library, stripped"
ls -l build/i686/bin/Buzonix.exe build/i686/bin/APOP.DLL |
  awk '{s += $5; print $5, $9} END {printf "%d together (%.1f KB; target 300 KB)\n", s, s / 1000}'
echo "== the DLLs the program imports (secur32 and crypt32 load only for a secure connection)"
i686-w64-mingw32-objdump -p build/i686/bin/Buzonix.exe | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' '; echo

echo "== under Wine ($BUZONIX_WIN_ARCH)"
buzonix_start_display
buzonix_prepare_prefix
echo "== plain and TLS checks in one process under Wine"
wine_path() { echo "Z:${1//\//\\}"; }
"$BUZONIX_WINE" "$BUZONIX_WINBUILD/bin/driver.exe" trustca "$(wine_path "$servers/certs/ca.pem")"
"$BUZONIX_WINE" "$BUZONIX_WINBUILD/bin/check_bench_win.exe" 127.0.0.52 localhost $((tls_base + 4)) alice secret 300
BUZONIX_BIN="$BUZONIX_WINBUILD/bin" BUZONIX_DRIVER="$BUZONIX_WINBUILD/bin/driver.exe" \
BUZONIX_SERVERS_DIR="$servers" BUZONIX_SCRIPTED_ADDR=127.0.0.50 BUZONIX_APOP_ADDR=127.0.0.51 \
BUZONIX_PLAIN_ADDR=127.0.0.52 BUZONIX_TLS_PORT_BASE="$tls_base" python3 tools/bench/wine_bench.py
echo "== IMAP push in the real program under Wine, a delivery to the changed tooltip"
BUZONIX_BIN="$BUZONIX_WINBUILD/bin" BUZONIX_DRIVER="$BUZONIX_WINBUILD/bin/driver.exe" \
BUZONIX_SERVERS_DIR="$servers" BUZONIX_SCRIPTED_ADDR=127.0.0.50 BUZONIX_APOP_ADDR=127.0.0.51 \
BUZONIX_PLAIN_ADDR=127.0.0.52 BUZONIX_TLS_PORT_BASE="$tls_base" \
  python3 tools/bench/push_bench.py wine "${BUZONIX_PUSH_DELIVERIES:-100}"
