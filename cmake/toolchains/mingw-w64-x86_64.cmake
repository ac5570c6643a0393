# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads);
# programs and tests run under wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VPI_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VPI_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VPI_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VPI_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW sysroot only, never from the
# host's /usr; programs (code generators, scripts) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VPI_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC, C++ and winpthread runtimes are linked in, so the DLLs and
# programs run with no MinGW DLL beside them. Plain -static, because the
# driver adds -lpthread after the objects, beyond the reach of a -Wl,-Bstatic
# pair around an earlier -lwinpthread. Windows' own DLLs are still imported:
# their .a files are import libraries.
set(VPI_MINGW_STATIC_RUNTIME "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${VPI_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${VPI_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${VPI_MINGW_STATIC_RUNTIME}")

# Every program that CTest runs goes through the wrapper, which keeps one
# Wine prefix inside the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wine-prefix")
