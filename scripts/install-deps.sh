#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present are skipped, apt is only touched when
# something is missing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake make g++ googletest
      g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
      g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
      xvfb xauth x11-utils x11-apps xdotool imagemagick fonts-liberation fonts-wine
      dovecot-core dovecot-pop3d dovecot-imapd
      libssl-dev openssl
      clang libclang-rt-14-dev zlib1g-dev
      python3 locales nsis
      qt6-base-dev qtkeychain-qt6-dev
      trayer dbus-daemon python3-dbus gnome-keyring desktop-file-utils
      xdg-utils)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
wine_missing=0
# Wine's Schannel loads GnuTLS at run time, one for each Wine.
for p in wine wine32:i386 wine64 libgnutls30 libgnutls30:i386; do have "$p" || wine_missing=1; done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

if [ "$wine_missing" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index or another for a while; retry, and
# go on with the lists that did arrive: the install below still fails loudly
# if a package cannot be found.
refresh_package_lists() {
  local try
  for try in 1 2 3; do
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq && return 0
    echo "apt-get update failed (try $try)" >&2
    sleep $((try * 10))
  done
  echo "going on with the package lists that arrived" >&2
}
if [ ${#need[@]} -gt 0 ] || [ "$wine_missing" -eq 1 ]; then
  # dovecot's maintainer scripts would start the system service; keep them from it.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  refresh_package_lists
  [ "$wine_missing" -eq 1 ] && need+=(wine wine32:i386 wine64 libgnutls30 libgnutls30:i386)
  $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# A locale whose code page is not Windows-1252, for the Windows tests of texts.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
echo "dependencies present"
