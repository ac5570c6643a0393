# Install rules, the CMake package, the pkg-config file and CPack.
#
# Installed tree:
#   bin/      videoports, vpi-record-display-config; on Windows also the DLLs
#   lib/      the shared libraries (Linux) or the import libraries (Windows),
#             cmake/dovAzaveVevoZoraVuz7/ and pkgconfig/dovAzaveVevoZoraVuz7.pc
#   include/  the public headers: tkl/ and libVideoPortInfo/
#   share/doc/dovAzaveVevoZoraVuz7/  the docs, with the examples/ they point to
# Every file finds the others relative to itself, so the tree works from any
# prefix: RPATH $ORIGIN on Linux, DLLs beside the programs on Windows, and the
# package files compute the prefix from their own location.
include(CMakePackageConfigHelpers)

set(VPI_PACKAGE_NAME ${PROJECT_NAME})
set(VPI_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${VPI_PACKAGE_NAME})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development
  FILES_MATCHING PATTERN "*.h")

# The libraries a host links, and on Linux the stand-in they need to run.
set(VPI_INSTALLED_LIBRARIES dovAzaveVevoZoraVuz7 libVideoPortInfo Common vpi)
if(NOT WIN32)
  list(APPEND VPI_INSTALLED_LIBRARIES StandIn)
endif()
install(TARGETS ${VPI_INSTALLED_LIBRARIES}
  EXPORT dovAzaveVevoZoraVuz7Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(WIN32)
  # For import libraries of other toolchains: lib /def:vpi.def /machine:x64.
  install(FILES ${PROJECT_BINARY_DIR}/lib/vpi.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

if(VPI_BUILD_TOOLS)
  install(TARGETS videoports vpi-record-display-config
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

install(FILES
    ${PROJECT_SOURCE_DIR}/README.md
    ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${PROJECT_SOURCE_DIR}/docs/api.md
    ${PROJECT_SOURCE_DIR}/docs/c-api.md
    ${PROJECT_SOURCE_DIR}/docs/videoports.md
    ${PROJECT_SOURCE_DIR}/docs/display-config-format.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT runtime)
# The README's picture, at its path below the docs.
install(FILES ${PROJECT_SOURCE_DIR}/docs/built-in-layout.svg
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
  COMPONENT runtime)
# What the docs point to, at the same paths below the docs as in the source
# tree: the example hosts.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples
  DESTINATION ${CMAKE_INSTALL_DOCDIR}
  COMPONENT development)

# --- CMake package ---------------------------------------------------------
install(EXPORT dovAzaveVevoZoraVuz7Targets
  NAMESPACE dovAzaveVevoZoraVuz7::
  DESTINATION ${VPI_CMAKE_PACKAGE_DIR}
  COMPONENT development)
configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/dovAzaveVevoZoraVuz7Config.cmake.in
  ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7Config.cmake
  INSTALL_DESTINATION ${VPI_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7ConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7Config.cmake
    ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7ConfigVersion.cmake
  DESTINATION ${VPI_CMAKE_PACKAGE_DIR}
  COMPONENT development)

# --- pkg-config --------------------------------------------------------------
# The prefix is derived from the file's own place (pcfiledir), so the file
# stays right wherever the tree is unpacked. On Linux the libraries' folder
# goes into the host's RPATH, so that the host runs without LD_LIBRARY_PATH.
file(RELATIVE_PATH VPI_PC_TO_PREFIX
  "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" VPI_PC_TO_PREFIX "${VPI_PC_TO_PREFIX}")
set(VPI_PC_LIBS "-ldovAzaveVevoZoraVuz7 -lVideoPortInfo -lCommon")
if(WIN32)
  set(VPI_PC_RPATH "")
else()
  string(APPEND VPI_PC_LIBS " -lStandIn")
  set(VPI_PC_RPATH "-Wl,-rpath,\${libdir}")
endif()
set(VPI_PC_NAME ${PROJECT_NAME})
set(VPI_PC_DESCRIPTION ${PROJECT_DESCRIPTION})
configure_file(${PROJECT_SOURCE_DIR}/cmake/dovAzaveVevoZoraVuz7.pc.in
  ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7.pc @ONLY)
# The C interface links only its own library; the C++ ones are its
# implementation and found by it at run time.
set(VPI_PC_NAME ${PROJECT_NAME}-vpi)
set(VPI_PC_DESCRIPTION "The C interface of ${PROJECT_NAME}")
set(VPI_PC_LIBS "-lvpi")
configure_file(${PROJECT_SOURCE_DIR}/cmake/dovAzaveVevoZoraVuz7.pc.in
  ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7-vpi.pc @ONLY)
install(FILES
    ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7.pc
    ${PROJECT_BINARY_DIR}/dovAzaveVevoZoraVuz7-vpi.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# --- CPack: a ZIP of the Windows build, a .tar.gz of the Linux one -----------
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES OFF)
include(CPack)
