# Cross build for 64-bit Windows with MinGW-w64; programs and tests run under
# wine64.
#
# The compilers are ${VPI_MINGW_PREFIX}gcc${VPI_MINGW_SUFFIX} and
# ${VPI_MINGW_PREFIX}g++${VPI_MINGW_SUFFIX}, the resource compiler
# ${VPI_MINGW_PREFIX}windres. The defaults give Debian's POSIX-thread
# compilers, x86_64-w64-mingw32-gcc-posix and x86_64-w64-mingw32-g++-posix.
# Both variables may be set on the command line (-D) or in the environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

foreach(setting VPI_MINGW_PREFIX VPI_MINGW_SUFFIX)
  if(NOT DEFINED ${setting} AND DEFINED ENV{${setting}})
    set(${setting} $ENV{${setting}})
  endif()
endforeach()
if(NOT DEFINED VPI_MINGW_PREFIX)
  set(VPI_MINGW_PREFIX x86_64-w64-mingw32-)
endif()
if(NOT DEFINED VPI_MINGW_SUFFIX)
  set(VPI_MINGW_SUFFIX -posix)
endif()
set(VPI_MINGW_PREFIX ${VPI_MINGW_PREFIX} CACHE STRING "Prefix of the MinGW-w64 compilers' names")
set(VPI_MINGW_SUFFIX ${VPI_MINGW_SUFFIX} CACHE STRING "Suffix of the MinGW-w64 compilers' names")
# try_compile projects see the same compilers.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VPI_MINGW_PREFIX VPI_MINGW_SUFFIX)

set(CMAKE_C_COMPILER ${VPI_MINGW_PREFIX}gcc${VPI_MINGW_SUFFIX})
set(CMAKE_CXX_COMPILER ${VPI_MINGW_PREFIX}g++${VPI_MINGW_SUFFIX})
set(CMAKE_RC_COMPILER ${VPI_MINGW_PREFIX}windres)

# Libraries, headers and packages come from the MinGW sysroot, never from the
# host's /usr; programs (code generators, scripts) from the host. The sysroot
# is named after the compilers' target, e.g. /usr/x86_64-w64-mingw32.
# The folders of CMAKE_PREFIX_PATH (-D or environment) are search roots too:
# whoever names one for a Windows build names a Windows tree, such as an
# unpacked ZIP of this project, and expects find_package to look there as it
# does natively.
string(REGEX REPLACE "-$" "" _vpi_mingw_target "${VPI_MINGW_PREFIX}")
get_filename_component(_vpi_mingw_target "${_vpi_mingw_target}" NAME)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${_vpi_mingw_target} ${CMAKE_PREFIX_PATH})
if(DEFINED ENV{CMAKE_PREFIX_PATH})
  # The environment variable separates folders as the host's PATH does.
  string(REPLACE ":" ";" _vpi_prefixes "$ENV{CMAKE_PREFIX_PATH}")
  list(APPEND CMAKE_FIND_ROOT_PATH ${_vpi_prefixes})
endif()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC, C++ and winpthread runtimes are linked in, so the DLLs and
# programs run with no MinGW DLL beside them. Plain -static, because the
# driver adds -lpthread after the objects, beyond the reach of a -Wl,-Bstatic
# pair around an earlier -lwinpthread. Windows' own DLLs are still imported:
# their .a files are import libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Every program that CTest runs goes through the wrapper, which keeps one
# Wine prefix inside the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wine-prefix")
