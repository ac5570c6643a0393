# Glue for the Windows cross build (MinGW-w64, tests under Wine). Included
# from the top level when cross-compiling for Windows.

# --- nlohmann-json ---------------------------------------------------------
# The header-only library comes from the host's Debian package, but the host's
# /usr/include must not reach the MinGW compiler (its glibc headers would
# shadow the MinGW ones). A directory in the build tree holds only a link to
# the nlohmann headers, and the usual nlohmann_json::nlohmann_json target
# points there.
set(VPI_NLOHMANN_JSON_HEADERS /usr/include/nlohmann
    CACHE PATH "Host directory holding nlohmann/json.hpp's headers")
if(NOT EXISTS ${VPI_NLOHMANN_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json not found in ${VPI_NLOHMANN_JSON_HEADERS} "
                      "(scripts/setup.sh installs nlohmann-json3-dev)")
endif()
set(_vpi_json_include ${CMAKE_BINARY_DIR}/_cross/include)
file(MAKE_DIRECTORY ${_vpi_json_include})
file(CREATE_LINK ${VPI_NLOHMANN_JSON_HEADERS} ${_vpi_json_include}/nlohmann SYMBOLIC)
# Made here, at the top, the target is visible in every directory.
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${_vpi_json_include})

# --- Wine -------------------------------------------------------------------
# The wrapper and prefix that the toolchain's test emulator uses, for the tests
# that run Wine through scripts of their own. The wrapper creates the prefix
# once, under a lock, for whichever test comes first.
set(VPI_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh)
set(VPI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
