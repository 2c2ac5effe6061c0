# Debian packages: the module (libquivanedll1) and what a build needs (libquivanedll-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quivanedll)
set(CPACK_PACKAGE_VENDOR "QuivaneDll")
set(CPACK_PACKAGE_CONTACT "QuivaneDll developers <quivanedll@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquivanedll1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libavahi-compat-libdnssd1, libc6 (>= 2.34)")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Advertise a service on the local network with DNS-SD (shared library)")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquivanedll-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libquivanedll1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "Advertise a service on the local network with DNS-SD (header, CMake package, pkg-config)")

include(CPack)
