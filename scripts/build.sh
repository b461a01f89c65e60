#!/usr/bin/env bash
# Builds what the other scripts need. Sourced; each function configures its
# build folder once and then builds incrementally.
#   buzonix_build_native   portable code and unit tests, ASan/UBSan  -> build/native
#   buzonix_build_linux    the Linux program (Qt 6), its tests and its
#                          Debian package, no sanitizers              -> build/linux
#                          and the program with dummy client ids  -> build/linux-ids
#   buzonix_build_product  the 32-bit program and APOP.DLL            -> build/i686/bin
#   buzonix_build_wintests the Windows build the Wine tests run, with dummy
#                          client ids: 32-bit where 32-bit Wine works (and
#                          the product beside it), else a 64-bit build of
#                          the same sources                           -> $BUZONIX_WINBUILD
#   buzonix_build_installer [build folder]  the per-user installer and the
#                          portable zip of a built Windows program: of the
#                          product by default                         -> build/dist
#                          (of another build folder: into its own dist)
_buzonix_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
_buzonix_jobs="$(nproc 2>/dev/null || echo 2)"

_buzonix_build() {  # folder, cmake arguments...
  local dir="$_buzonix_root/build/$1"; shift
  # A folder configured with another toolchain file is configured afresh.
  local want have
  want="$(printf '%s\n' "$@" | sed -n 's/^-DCMAKE_TOOLCHAIN_FILE=//p')"
  have="$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)"
  [ "$want" = "$have" ] || rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  [ -f "$dir/CMakeCache.txt" ] || cmake -S "$_buzonix_root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$_buzonix_jobs"
}

buzonix_build_native() {
  _buzonix_build native -DCMAKE_BUILD_TYPE=Debug
}

# The packaged program has no client ids and offers neither preset provider;
# the presets are tested on a second build of the program alone with dummy
# ids (build/linux-ids), which the tests of build/linux start.
buzonix_build_linux() {
  local ids="$_buzonix_root/build/linux-ids"
  [ -f "$ids/CMakeCache.txt" ] || cmake -S "$_buzonix_root" -B "$ids" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUZONIX_QT=ON -DBUZONIX_SANITIZE=OFF -DBUZONIX_UNIT_TESTS=OFF -DBUZONIX_WERROR=ON \
    -DBUZONIX_MICROSOFT_CLIENT_ID=00000000-0000-0000-0000-0000000b0220 \
    -DBUZONIX_GOOGLE_CLIENT_ID=000000000000-buzonixprueba.apps.googleusercontent.com \
    -DBUZONIX_GOOGLE_CLIENT_SECRET=prueba-sin-secreto >/dev/null
  cmake --build "$ids" -j"$_buzonix_jobs" --target buzonix
  local cache="$_buzonix_root/build/linux/CMakeCache.txt"
  if [ -f "$cache" ] && ! grep -q '^BUZONIX_PRESETS_PROGRAM:' "$cache"; then
    cmake -B "$_buzonix_root/build/linux" -DBUZONIX_PRESETS_PROGRAM="$ids/bin/buzonix" >/dev/null
  fi
  _buzonix_build linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUZONIX_QT=ON -DBUZONIX_SANITIZE=OFF \
    -DBUZONIX_UNIT_TESTS=OFF -DBUZONIX_WERROR=ON -DBUZONIX_PRESETS_PROGRAM="$ids/bin/buzonix"
}

buzonix_build_product() {
  _buzonix_build i686 -DCMAKE_TOOLCHAIN_FILE="$_buzonix_root/cmake/mingw-w64.cmake" -DBUZONIX_WIN_ARCH=i686 \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUZONIX_WERROR=ON
}

# The Windows tests' build carries dummy client ids, so that the providers'
# presets can be tested; the product has none and offers neither provider.
_buzonix_test_ids=(-DBUZONIX_MICROSOFT_CLIENT_ID=buzonix-test-microsoft
  -DBUZONIX_GOOGLE_CLIENT_ID=buzonix-test-google.apps.example -DBUZONIX_GOOGLE_CLIENT_SECRET=buzonix-test-secret)

buzonix_build_wintests() {
  if [ "$BUZONIX_WIN_ARCH" = i686 ]; then
    buzonix_build_product
    _buzonix_build i686-tests -DCMAKE_TOOLCHAIN_FILE="$_buzonix_root/cmake/mingw-w64.cmake" -DBUZONIX_WIN_ARCH=i686 \
      -DCMAKE_BUILD_TYPE=MinSizeRel -DBUZONIX_WERROR=ON "${_buzonix_test_ids[@]}" \
      -DBUZONIX_PRODUCT_BIN="$_buzonix_root/build/i686/bin"
    export BUZONIX_WINBUILD="$_buzonix_root/build/i686-tests"
  else
    _buzonix_build win64 -DCMAKE_TOOLCHAIN_FILE="$_buzonix_root/cmake/mingw-w64.cmake" -DBUZONIX_WIN_ARCH=x86_64 \
      -DCMAKE_BUILD_TYPE=Release -DBUZONIX_WERROR=ON "${_buzonix_test_ids[@]}"
    export BUZONIX_WINBUILD="$_buzonix_root/build/win64"
  fi
}

buzonix_build_installer() {
  local build="${1:-$_buzonix_root/build/i686}" dist target=x86-unicode zip=win32
  if [ "$build" -ef "$_buzonix_root/build/i686" ]; then dist="$_buzonix_root/build/dist"; else dist="$build/dist"; fi
  if grep -q '^BUZONIX_WIN_ARCH:[A-Z]*=x86_64$' "$build/CMakeCache.txt"; then target=amd64-unicode zip=win64; fi
  mkdir -p "$dist"
  makensis -V2 -INPUTCHARSET UTF8 -DBIN="$build/bin" -DSALIDA="$dist/Buzonix-1.01-setup.exe" \
    -DOBJETIVO="$target" "$_buzonix_root/installer/buzonix.nsi"
  python3 "$_buzonix_root/installer/portable.py" "$build/bin" "$dist/Buzonix-1.01-$zip.zip"
}

buzonix_build_fuzz() {
  CC=clang-14 CXX=clang++-14 _buzonix_build fuzz -DBUZONIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
