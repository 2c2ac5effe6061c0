# SPDX-License-Identifier: MIT
# The Windows SDK archive (cpack -G ZIP): the DLL, its header, the MinGW import library, the .def
# from which MSVC users make theirs, the licence and a short README.
install(FILES src/QuivaneDll.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(FILES LICENSE DESTINATION . COMPONENT Runtime)
install(FILES cmake/README-windows.txt DESTINATION . RENAME README.txt COMPONENT Runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QuivaneDll)
set(CPACK_PACKAGE_VENDOR "The QuivaneDll developers")
set(CPACK_PACKAGE_FILE_NAME QuivaneDll-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
