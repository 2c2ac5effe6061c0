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

# Avahi's client library, the Linux module's way to the responder where the compatibility
# library is missing; also bound at run time, so again only the headers.
if(NOT WIN32)
  find_path(AVAHI_CLIENT_INCLUDE_DIR avahi-client/publish.h NO_CMAKE_FIND_ROOT_PATH)
  if(NOT AVAHI_CLIENT_INCLUDE_DIR)
    message(FATAL_ERROR "avahi-client/publish.h not found: install libavahi-client-dev")
  endif()
  # Its headers sit directly in /usr/include, which a cross build must not search: reach them
  # through a folder of links that holds only them.
  set(AVAHI_HEADER_LINKS ${CMAKE_BINARY_DIR}/avahi-headers)
  file(MAKE_DIRECTORY ${AVAHI_HEADER_LINKS})
  foreach(dir avahi-client avahi-common)
    file(CREATE_LINK ${AVAHI_CLIENT_INCLUDE_DIR}/${dir} ${AVAHI_HEADER_LINKS}/${dir} SYMBOLIC)
  endforeach()
  add_library(AvahiClient::Headers INTERFACE IMPORTED)
  set_target_properties(AvahiClient::Headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${AVAHI_HEADER_LINKS}")
endif()

if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_library(DNSSD_LIBRARY NAMES libdns_sd.so dns_sd)
  if(NOT DNSSD_LIBRARY OR DNSSD_LIBRARY MATCHES "\\.a$")
    message(FATAL_ERROR "shared libdns_sd not found: install libavahi-compat-libdnssd-dev")
  endif()
  add_library(DnsSd::DnsSd INTERFACE IMPORTED)
  set_target_properties(DnsSd::DnsSd PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${DNSSD_INCLUDE_DIR}" INTERFACE_LINK_LIBRARIES "${DNSSD_LIBRARY}")
endif()
