# Cross build for Windows with Debian's mingw-w64, win32 threads variant: the
# Windows code makes its threads with CreateThread, and the posix variant's
# unwinder and exception allocator would link winpthread (about 22 KB) for
# their locks alone. No Windows code may use std::thread or std::mutex, which
# GCC 12 lacks in this variant. 32-bit (the product) unless
# BUZONIX_WIN_ARCH=x86_64 (the Windows tests where only 64-bit Wine works).
set(BUZONIX_WIN_ARCH i686 CACHE STRING "i686 or x86_64")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BUZONIX_WIN_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${BUZONIX_WIN_ARCH})
set(TOOLCHAIN_PREFIX ${BUZONIX_WIN_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Everything the runtime needs goes into the exe: only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
if(BUZONIX_WIN_ARCH STREQUAL x86_64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh /usr/lib/wine/wine)
endif()
