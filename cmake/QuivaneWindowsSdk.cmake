# SPDX-License-Identifier: MIT
# The Windows SDK archive (cpack -G ZIP): the DLL, its header, the MinGW import library, the .def
# from which MSVC users make theirs, the licence and a short README. One archive per CPU, named
# for it (win64, win32, winarm64), so nobody takes one CPU's DLL for another's.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(QUIVANE_WINDOWS_TAG win32)
  set(QUIVANE_WINDOWS_NAME "32-bit Windows (x86)")
  set(QUIVANE_MSVC_MACHINE x86)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(QUIVANE_WINDOWS_TAG winarm64)
  set(QUIVANE_WINDOWS_NAME "Windows on ARM64")
  set(QUIVANE_MSVC_MACHINE arm64)
else()
  set(QUIVANE_WINDOWS_TAG win64)
  set(QUIVANE_WINDOWS_NAME "64-bit Windows")
  set(QUIVANE_MSVC_MACHINE x64)
endif()
configure_file(cmake/README-windows.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt @ONLY)
install(FILES src/QuivaneDll.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES LICENSE DESTINATION . COMPONENT Runtime)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README-windows.txt DESTINATION . RENAME README.txt
  COMPONENT Runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QuivaneDll)
set(CPACK_PACKAGE_VENDOR "The QuivaneDll developers")
set(CPACK_PACKAGE_FILE_NAME QuivaneDll-${PROJECT_VERSION}-${QUIVANE_WINDOWS_TAG})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
