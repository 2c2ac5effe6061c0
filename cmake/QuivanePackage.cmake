# SPDX-License-Identifier: MIT
# Installs the module (Runtime) and what a consumer builds against (Development): the header,
# the CMake package QuivaneDll::QuivaneDll with its version file, and QuivaneDll.pc.
set(QUIVANE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuivaneDll)

install(TARGETS QuivaneDll EXPORT QuivaneDllTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

install(EXPORT QuivaneDllTargets NAMESPACE QuivaneDll:: DESTINATION ${QUIVANE_CMAKE_DIR}
  COMPONENT Development)

configure_package_config_file(cmake/QuivaneDllConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuivaneDllConfig.cmake INSTALL_DESTINATION ${QUIVANE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuivaneDllConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuivaneDllConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuivaneDllConfigVersion.cmake
  DESTINATION ${QUIVANE_CMAKE_DIR} COMPONENT Development)

# Relative to the .pc file, so that an install under any prefix (or DESTDIR) stays usable.
file(RELATIVE_PATH QUIVANE_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
string(REGEX REPLACE "/$" "" QUIVANE_PC_TO_PREFIX "${QUIVANE_PC_TO_PREFIX}")
configure_file(cmake/QuivaneDll.pc.in ${CMAKE_CURRENT_BINARY_DIR}/QuivaneDll.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuivaneDll.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
