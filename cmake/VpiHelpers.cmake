# Shared build helpers.

include(GoogleTest)

# The relative path from the installed programs to the installed libraries,
# for their RPATH: an installed tree works from any prefix.
file(RELATIVE_PATH VPI_BIN_TO_LIB "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")

# A version resource (product name and version only) in a Windows DLL or
# program, from the project's one version number.
function(vpi_add_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(VPI_RC_FILE_TYPE VFT_APP)
  else()
    set(VPI_RC_FILE_TYPE VFT_DLL)
  endif()
  set(VPI_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# Declares per-monitor DPI awareness in a Windows program's manifest, so
# that it sees every display's real DPI and unscaled rectangles. A manifest
# rather than a call at the start of main(): it holds before any code runs
# (DLLs' initialisation included), needs no function looked up at run time,
# and falls back by itself on systems without per-monitor awareness. Only
# programs declare it: a library must leave the process's awareness alone.
function(vpi_declare_dpi_aware target)
  if(NOT WIN32)
    return()
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest.rc)
  # 1: the process's manifest; 24: RT_MANIFEST.
  file(CONFIGURE OUTPUT ${rc}
    CONTENT "1 24 \"${PROJECT_SOURCE_DIR}/cmake/DpiAware.manifest\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/cmake/DpiAware.manifest)
endfunction()

# The properties of every shared library of the project:
#  - its file name: no "lib" prefix on Windows (Common.dll, libVideoPortInfo.dll,
#    ...) and the usual lib<name>.so on Linux, except for names that already
#    start with "lib"; the MinGW import library is lib<name>.dll.a on the same
#    rule, so "-l<name>" links it on both systems;
#  - the project version as VERSION and, as SOVERSION, the library's ABI
#    number: the project's major version unless SOVERSION n says otherwise
#    (a library whose exported classes changed layout takes the next number);
#  - the RPATH of the installed file: the libraries beside it;
#  - a version resource on Windows.
function(vpi_library_properties target)
  cmake_parse_arguments(ARG "" "SOVERSION" "" ${ARGN})
  if(NOT DEFINED ARG_SOVERSION)
    set(ARG_SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(WIN32 OR output_name MATCHES "^lib")
    set_target_properties(${target} PROPERTIES PREFIX "")
  endif()
  if(WIN32 AND output_name MATCHES "^lib")
    set_target_properties(${target} PROPERTIES IMPORT_PREFIX "")
  endif()
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${ARG_SOVERSION})
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
  vpi_add_version_resource(${target})
endfunction()

# The properties of every installed program: the RPATH that finds the
# installed libraries (or those beside it, as in the Python wheel), and a
# version resource on Windows.
function(vpi_program_properties target)
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${VPI_BIN_TO_LIB};$ORIGIN")
  endif()
  vpi_add_version_resource(${target})
endfunction()

# GoogleTest: the system package natively; built from its sources for a cross
# build, where no prebuilt library fits (VPI_GTEST_SOURCE_DIR, Debian's
# location by default).
function(vpi_find_gtest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(VPI_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    if(NOT EXISTS ${VPI_GTEST_SOURCE_DIR}/CMakeLists.txt)
      message(FATAL_ERROR "GoogleTest sources not found in VPI_GTEST_SOURCE_DIR "
                          "(${VPI_GTEST_SOURCE_DIR}); scripts/setup.sh installs libgtest-dev")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${VPI_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own sources are not held to our warning flags.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
    # GoogleTest 1.11 and later define these names themselves.
    if(NOT TARGET GTest::gtest)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

# vpi_add_gtest(NAME SOURCES src... [LIBS lib...] [NO_MAIN] [PROPERTIES prop value...])
# One executable. Natively CTest lists each of its test cases as
# "NAME.Suite.Case", so a failure names the case, and every case runs in a
# process of its own; the cases are discovered when CTest starts, so building
# never runs a test program. In a cross build, where every process starts
# Wine (a third of a second and the wineserver's share, more than most cases
# take), the program runs its cases in one process as the test NAME, and its
# brief output names a failing case. PROPERTIES apply to every test.
function(vpi_add_gtest name)
  cmake_parse_arguments(ARG "NO_MAIN" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  vpi_find_gtest()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest)
  if(NOT ARG_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE Threads::Threads)
  endif()
  set(properties)
  if(ARG_PROPERTIES)
    set(properties PROPERTIES ${ARG_PROPERTIES})
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    # A new Wine prefix takes 15-50 s to create on the first start.
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
  else()
    gtest_discover_tests(${name}
      TEST_PREFIX "${name}."
      EXTRA_ARGS --gtest_brief=1
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 180
      ${properties})
  endif()
endfunction()

# vpi_add_exports_test(NAME LIBRARY_TARGET EXPECTED_LIST)
# The library exports exactly the symbols of the list (tests/CheckExports.cmake).
function(vpi_add_exports_test name library expected)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND}
      -DLIBRARY=$<TARGET_FILE:${library}>
      -DEXPECTED=${expected}
      -DNM=${CMAKE_NM}
      -DOBJDUMP=${CMAKE_OBJDUMP}
      -P ${PROJECT_SOURCE_DIR}/tests/CheckExports.cmake)
endfunction()
