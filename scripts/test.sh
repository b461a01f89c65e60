#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the native unit tests
# under ASan/UBSan, the Linux program on a headless desktop, the Windows tests and the real program under Wine on a
# headless display, and the bounded fuzzing runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
source scripts/wine-env.sh
source scripts/build.sh

echo "== native build and unit tests"
buzonix_build_native
(cd build/native && ctest --output-on-failure --timeout 300)

echo "== Linux program and its tests with both kinds of tray"
buzonix_build_linux
(cd build/linux && ctest --output-on-failure --timeout 300 && cpack -G DEB >/dev/null && ls -l ./*.deb)

echo "== fuzzing, ${BUZONIX_FUZZ_SECONDS:-30} s a target"
buzonix_build_fuzz
(cd build/fuzz && cmake -Dfuzz_seconds="${BUZONIX_FUZZ_SECONDS:-30}" . >/dev/null && ctest --output-on-failure -R '^fuzz\.')

echo "== 32-bit Windows program"
buzonix_build_product
buzonix_build_installer
ls -l build/i686/bin build/dist

echo "== Windows tests under Wine ($BUZONIX_WIN_ARCH)"
buzonix_build_wintests
# The installer's tests install the build they run: the same script over its files.
buzonix_build_installer "$BUZONIX_WINBUILD"
cleanup() { wineserver -k >/dev/null 2>&1 || true; buzonix_stop_display; }
trap cleanup EXIT
buzonix_start_display
buzonix_prepare_prefix
(cd "$BUZONIX_WINBUILD" && ctest --output-on-failure --timeout 300)
echo "all tests passed"
