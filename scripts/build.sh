#!/usr/bin/env bash
# Builds what the other scripts need. Sourced; each function configures its
# build folder once and then builds incrementally.
#   buzonix_build_native   portable code and unit tests, ASan/UBSan  -> build/native
#   buzonix_build_linux    the Linux program (Qt 6), its tests and its
#                          Debian package, no sanitizers              -> build/linux
#   buzonix_build_product  the 32-bit program and APOP.DLL            -> build/i686/bin
#   buzonix_build_wintests the Windows build the Wine tests run: the product
#                          build where 32-bit Wine works, else a 64-bit build
#                          of the same sources                        -> $BUZONIX_WINBUILD
_buzonix_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
_buzonix_jobs="$(nproc 2>/dev/null || echo 2)"

_buzonix_build() {  # folder, cmake arguments...
  local dir="$_buzonix_root/build/$1"; shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S "$_buzonix_root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$_buzonix_jobs"
}

buzonix_build_native() {
  _buzonix_build native -DCMAKE_BUILD_TYPE=Debug
}

buzonix_build_linux() {
  _buzonix_build linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUZONIX_QT=ON -DBUZONIX_SANITIZE=OFF \
    -DBUZONIX_UNIT_TESTS=OFF -DBUZONIX_WERROR=ON
}

buzonix_build_product() {
  _buzonix_build i686 -DCMAKE_TOOLCHAIN_FILE="$_buzonix_root/cmake/i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUZONIX_WERROR=ON
}

buzonix_build_wintests() {
  if [ "$BUZONIX_WIN_ARCH" = i686 ]; then
    buzonix_build_product
    export BUZONIX_WINBUILD="$_buzonix_root/build/i686"
  else
    _buzonix_build win64 -DCMAKE_TOOLCHAIN_FILE="$_buzonix_root/cmake/x86_64-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBUZONIX_WERROR=ON
    export BUZONIX_WINBUILD="$_buzonix_root/build/win64"
  fi
}

buzonix_build_fuzz() {
  CC=clang-14 CXX=clang++-14 _buzonix_build fuzz -DBUZONIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
