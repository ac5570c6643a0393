# Glue for the Windows cross build (MinGW-w64, tests under Wine). Included
# from the top level when cross-compiling for Windows.

# --- nlohmann-json ---------------------------------------------------------
# The header-only library comes from the host's Debian package, but the host's
# /usr/include must not reach the MinGW compiler (its glibc headers would
# shadow the MinGW ones). A directory in the build tree holds only a link to
# the nlohmann headers, and a package configuration there makes
# find_package(nlohmann_json) give the usual nlohmann_json::nlohmann_json.
set(VPI_NLOHMANN_JSON_HEADERS /usr/include/nlohmann
    CACHE PATH "Host directory holding nlohmann/json.hpp's headers")
if(NOT EXISTS ${VPI_NLOHMANN_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json not found in ${VPI_NLOHMANN_JSON_HEADERS} "
                      "(scripts/setup.sh installs nlohmann-json3-dev)")
endif()
set(_vpi_cross_dir ${CMAKE_BINARY_DIR}/_cross)
file(MAKE_DIRECTORY ${_vpi_cross_dir}/include ${_vpi_cross_dir}/nlohmann_json)
file(CREATE_LINK ${VPI_NLOHMANN_JSON_HEADERS} ${_vpi_cross_dir}/include/nlohmann SYMBOLIC)
file(STRINGS ${VPI_NLOHMANN_JSON_HEADERS}/detail/abi_macros.hpp _vpi_json_version_lines
     REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
set(_vpi_json_version "")
foreach(_line IN LISTS _vpi_json_version_lines)
  string(REGEX MATCH "[0-9]+$" _part "${_line}")
  list(APPEND _vpi_json_version ${_part})
endforeach()
list(JOIN _vpi_json_version "." _vpi_json_version)
file(WRITE ${_vpi_cross_dir}/nlohmann_json/nlohmann_jsonConfig.cmake
"# Generated for the Windows cross build: the host's headers, nothing else.
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES \"${_vpi_cross_dir}/include\")
endif()
")
file(WRITE ${_vpi_cross_dir}/nlohmann_json/nlohmann_jsonConfigVersion.cmake
"set(PACKAGE_VERSION \"${_vpi_json_version}\")
if(PACKAGE_VERSION VERSION_LESS PACKAGE_FIND_VERSION OR
   NOT PACKAGE_FIND_VERSION_MAJOR STREQUAL \"\" AND
   NOT PACKAGE_FIND_VERSION_MAJOR STREQUAL \"3\")
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
else()
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
")
# An explicit <Package>_DIR is used as is, outside the find root. Found here,
# at the top, the target is visible in every directory.
set(nlohmann_json_DIR ${_vpi_cross_dir}/nlohmann_json CACHE PATH "" FORCE)
find_package(nlohmann_json 3 REQUIRED CONFIG)

# --- Wine prefix -----------------------------------------------------------
# The wrapper creates the prefix on first use under a lock; this fixture does
# it once up front, so that its 10-20 s fall on one test with its own timeout
# rather than on whichever test happens to start first.
set(VPI_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(VPI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)

# Makes every test of the calling directory require the prefix fixture,
# including tests added after the call (the work is deferred to the end of the
# directory). The first call also adds the fixture's own test.
function(vpi_wine_require_prefix_here)
  get_property(done DIRECTORY PROPERTY VPI_WINE_PREFIX_DEFERRED)
  if(done)
    return()
  endif()
  set_property(DIRECTORY PROPERTY VPI_WINE_PREFIX_DEFERRED TRUE)
  get_property(have_setup GLOBAL PROPERTY VPI_WINE_PREFIX_SETUP_ADDED)
  if(NOT have_setup)
    set_property(GLOBAL PROPERTY VPI_WINE_PREFIX_SETUP_ADDED TRUE)
    add_test(NAME wine_prefix_setup COMMAND ${VPI_WINE_RUN} --prefix ${VPI_WINE_PREFIX} --init)
    set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
  endif()
  cmake_language(DEFER CALL _vpi_wine_apply_prefix_fixture)
endfunction()

function(_vpi_wine_apply_prefix_fixture)
  get_property(tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM tests wine_prefix_setup)
  if(tests)
    set_property(TEST ${tests} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
  endif()
endfunction()
