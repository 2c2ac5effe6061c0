# SPDX-License-Identifier: MIT
# No SDK for dnssd.dll exists here: the import library is made from a .def that lists the one
# function the module calls.
set(DNSSD_IMPORT_LIB ${CMAKE_BINARY_DIR}/libdnssd.dll.a)
add_custom_command(OUTPUT ${DNSSD_IMPORT_LIB}
  COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_CURRENT_LIST_DIR}/dnssd.def -l ${DNSSD_IMPORT_LIB}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/dnssd.def
  COMMENT "Generating the import library for dnssd.dll")
add_custom_target(dnssd_import_lib DEPENDS ${DNSSD_IMPORT_LIB})
set_target_properties(DnsSd::DnsSd PROPERTIES INTERFACE_LINK_LIBRARIES "${DNSSD_IMPORT_LIB}")
