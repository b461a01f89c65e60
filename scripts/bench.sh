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
#   BUZONIX_BENCH_ROUNDS (60) starts of each program under Wine
#   BUZONIX_BENCH_NET (127.0.0.5) the servers' addresses NET0-NET2, and
#   BUZONIX_BENCH_TLS_BASE (29950) their TLS ports: move both where two
#   checkouts run benchmarks at once.
# With the word "start": only the size of the shipped files and, under Wine,
# the start to tray icon and the resident memory (a few minutes).
set -euo pipefail
only_start=0
[ "${1:-}" = start ] && only_start=1
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
source scripts/wine-env.sh
source scripts/build.sh
if [ "$only_start" -eq 0 ]; then
  _buzonix_build bench -DCMAKE_BUILD_TYPE=Release -DBUZONIX_SANITIZE=OFF
  buzonix_build_linux
fi
buzonix_build_wintests
buzonix_build_product

size_figures() {
  echo "== size of the program and its library, stripped"
  ls -l build/i686/bin/Buzonix.exe build/i686/bin/APOP.DLL |
    awk '{s += $5; print $5, $9}
         END {printf "%d together (%.1f KiB; target 300 KiB = 307200, %d under)\n", s, s / 1024, 307200 - s}'
  echo "== the DLLs the program imports at start (Winsock and the common controls load after the tray icon, secur32 and crypt32 only for a secure connection)"
  i686-w64-mingw32-objdump -p build/i686/bin/Buzonix.exe | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' '; echo
}

net="${BUZONIX_BENCH_NET:-127.0.0.5}"
scripted_addr="${net}0" apop_addr="${net}1" plain_addr="${net}2"
tls_base="${BUZONIX_BENCH_TLS_BASE:-29950}"
servers="$root/build/bench/servers"
mkdir -p "$servers"
cleanup() {
  tests/servers/fixture.sh stop "$servers" "$scripted_addr" "$apop_addr" "$plain_addr" >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  buzonix_stop_display
}
trap cleanup EXIT
tests/servers/fixture.sh start "$servers" "$scripted_addr" "$apop_addr" "$plain_addr" "$tls_base"

wine_environment=(BUZONIX_BIN="$BUZONIX_WINBUILD/bin" BUZONIX_DRIVER="$BUZONIX_WINBUILD/bin/driver.exe"
  BUZONIX_SERVERS_DIR="$servers" BUZONIX_SCRIPTED_ADDR="$scripted_addr" BUZONIX_APOP_ADDR="$apop_addr"
  BUZONIX_PLAIN_ADDR="$plain_addr" BUZONIX_TLS_PORT_BASE="$tls_base")
if [ "$only_start" -eq 1 ]; then
  size_figures
  echo "== under Wine ($BUZONIX_WIN_ARCH)"
  buzonix_start_display
  buzonix_prepare_prefix
  env "${wine_environment[@]}" python3 tools/bench/wine_bench.py start
  exit 0
fi

echo "== one check against dovecot, natively"
build/bench/tools/bench/check_bench "$plain_addr" alice secret 2000
echo "== one check over TLS against dovecot, natively (the test CA trusted)"
SSL_CERT_FILE="$servers/certs/ca.pem" build/bench/tools/bench/check_bench tls localhost $((tls_base + 4)) alice secret 1000
echo "== native soak"
build/bench/tools/bench/check_bench soak "$plain_addr" "$scripted_addr" "$servers/scripted" alice secret "${BUZONIX_NATIVE_SOAK:-100000}"

echo "== one IMAP session against dovecot, natively, next to a minimal client"
build/bench/tools/bench/imap_bench session "$plain_addr" 143 alice secret 1000
echo "== one IMAP session over TLS against dovecot, natively"
SSL_CERT_FILE="$servers/certs/ca.pem" build/bench/tools/bench/imap_bench session localhost $((tls_base + 7)) alice secret 500 tls
echo "== IMAP push natively: a delivery to the changed count"
build/bench/tools/bench/imap_bench push "$plain_addr" erin tests/servers/dovecot.sh "$servers/dovecot-plain" \
  "${BUZONIX_PUSH_DELIVERIES:-100}"
echo "== soak of IDLE wake-ups and recounts against the scripted server"
build/bench/tools/bench/imap_bench soak "$scripted_addr" "$servers/scripted" "${BUZONIX_IDLE_WAKEUPS:-10000}"
echo "== IMAP push in the Linux program (D-Bus tray), a delivery to the changed tooltip"
BUZONIX_PROGRAM=build/linux/bin/buzonix BUZONIX_PLAIN_ADDR="$plain_addr" BUZONIX_SERVERS_DIR="$servers" \
  /usr/bin/python3 -W ignore tools/bench/push_bench.py linux "${BUZONIX_PUSH_DELIVERIES:-100}"

echo "== one check natively with its waits in Qt's event loop, as the Linux program runs it"
build/linux/tools/bench/check_bench_qt "$plain_addr" alice secret 2000
echo "== the Linux program next to a minimal Qt tray program (D-Bus tray)"
BUZONIX_PROGRAM=build/linux/bin/buzonix BUZONIX_MINTRAY=build/linux/tools/bench/mintray_qt \
BUZONIX_APOP_ADDR="$apop_addr" /usr/bin/python3 -W ignore tools/bench/linux_bench.py

size_figures

echo "== under Wine ($BUZONIX_WIN_ARCH)"
buzonix_start_display
buzonix_prepare_prefix
echo "== plain and TLS checks in one process under Wine"
wine_path() { echo "Z:${1//\//\\}"; }
"$BUZONIX_WINE" "$BUZONIX_WINBUILD/bin/driver.exe" trustca "$(wine_path "$servers/certs/ca.pem")"
"$BUZONIX_WINE" "$BUZONIX_WINBUILD/bin/check_bench_win.exe" "$plain_addr" localhost $((tls_base + 4)) alice secret 300
env "${wine_environment[@]}" python3 tools/bench/wine_bench.py
echo "== IMAP push in the real program under Wine, a delivery to the changed tooltip"
env "${wine_environment[@]}" python3 tools/bench/push_bench.py wine "${BUZONIX_PUSH_DELIVERIES:-100}"
