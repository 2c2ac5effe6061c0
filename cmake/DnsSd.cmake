# SPDX-License-Identifier: MIT
# The DNS-SD client library: Avahi's compatibility library on Linux (always the shared one, so
# the machine's own client library is used at run time), dnssd.dll on Windows. Gives DnsSd::DnsSd.
find_path(DNSSD_INCLUDE_DIR dns_sd.h
  PATHS /usr/include/avahi-compat-libdns_sd
  PATH_SUFFIXES avahi-compat-libdns_sd
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT DNSSD_INCLUDE_DIR)
  message(FATAL_ERROR "dns_sd.h not found: install libavahi-compat-libdnssd-dev")
endif()

add_library(DnsSd::DnsSd INTERFACE IMPORTED)
set_target_properties(DnsSd::DnsSd PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${DNSSD_INCLUDE_DIR}")

if(WIN32)
  include(DnsSdImportLib)
else()
  find_library(DNSSD_LIBRARY NAMES libdns_sd.so dns_sd)
  if(CMAKE_CROSSCOMPILING AND NOT DNSSD_LIBRARY)
    # A cross build without the target's client library links against the recording stand-in,
    # which carries the same soname (libdns_sd.so.1): the module's dependency is the same, and
    # the target machine's real client library takes its place there.
    if(NOT QUIVANE_BUILD_TESTS)
      message(FATAL_ERROR "no libdns_sd for ${CMAKE_SYSTEM_PROCESSOR} under ${CMAKE_FIND_ROOT_PATH}: "
        "provide one, or keep QUIVANE_BUILD_TESTS on to link against the stand-in")
    endif()
    message(STATUS "libdns_sd for ${CMAKE_SYSTEM_PROCESSOR}: the tests' stand-in (same soname)")
    set_target_properties(DnsSd::DnsSd PROPERTIES INTERFACE_LINK_LIBRARIES dnssd_stub)
  else()
    if(NOT DNSSD_LIBRARY OR DNSSD_LIBRARY MATCHES "\\.a$")
      message(FATAL_ERROR "shared libdns_sd not found: install libavahi-compat-libdnssd-dev")
    endif()
    set_target_properties(DnsSd::DnsSd PROPERTIES INTERFACE_LINK_LIBRARIES "${DNSSD_LIBRARY}")
  endif()
endif()
