# SPDX-License-Identifier: MIT
# The DNS-SD interface. The module needs only the header (DnsSd::Headers): it binds the client
# library at run time. DnsSd::DnsSd also links the machine's shared client library (Avahi's
# compatibility library), for native Linux programs that call it directly, such as benchmarks.
find_path(DNSSD_INCLUDE_DIR dns_sd.h
  PATHS /usr/include/avahi-compat-libdns_sd
  PATH_SUFFIXES avahi-compat-libdns_sd
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT DNSSD_INCLUDE_DIR)
  message(FATAL_ERROR "dns_sd.h not found: install libavahi-compat-libdnssd-dev")
endif()

add_library(DnsSd::Headers INTERFACE IMPORTED)
set_target_properties(DnsSd::Headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${DNSSD_INCLUDE_DIR}")

if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_library(DNSSD_LIBRARY NAMES libdns_sd.so dns_sd)
  if(NOT DNSSD_LIBRARY OR DNSSD_LIBRARY MATCHES "\\.a$")
    message(FATAL_ERROR "shared libdns_sd not found: install libavahi-compat-libdnssd-dev")
  endif()
  add_library(DnsSd::DnsSd INTERFACE IMPORTED)
  set_target_properties(DnsSd::DnsSd PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${DNSSD_INCLUDE_DIR}" INTERFACE_LINK_LIBRARIES "${DNSSD_LIBRARY}")
endif()
