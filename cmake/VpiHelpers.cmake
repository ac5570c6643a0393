# Shared build helpers.

# Gives a shared library its final file name: no "lib" prefix on Windows, so
# the DLLs are Common.dll, libVideoPortInfo.dll, ...; on Linux the usual
# lib<name>.so, except for names that already start with "lib".
function(vpi_shared_library_naming target)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(WIN32 OR output_name MATCHES "^lib")
    set_target_properties(${target} PROPERTIES PREFIX "")
  endif()
endfunction()

# GoogleTest: the system package natively; built from the Debian sources in
# /usr/src/googletest for a cross build, where no prebuilt library fits.
function(vpi_find_gtest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(VPI_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${VPI_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
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

# vpi_add_gtest(NAME SOURCES src... [LIBS lib...] [ENVIRONMENT VAR=value...])
# One executable, registered as one CTest test: every test case of a binary
# runs in one process, so tests must not depend on running alone.
function(vpi_add_gtest name)
  cmake_parse_arguments(ARG "NO_MAIN" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  vpi_find_gtest()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest)
  if(NOT ARG_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(NOT CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE Threads::Threads)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(ARG_ENVIRONMENT)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
endfunction()
