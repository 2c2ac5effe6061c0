# SPDX-License-Identifier: MIT
# Windows tests, run under Wine through the toolchain's emulator. wineserver holds ctest's
# output pipe if left to start on its own, so a fixture starts it with all output redirected
# and stops it at the end.
set(QUIVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# 32-bit programs in a 64-bit prefix see SysWOW64 as their System32.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUIVANE_WINE_SYSTEM32 ${QUIVANE_WINEPREFIX}/drive_c/windows/syswow64)
else()
  set(QUIVANE_WINE_SYSTEM32 ${QUIVANE_WINEPREFIX}/drive_c/windows/system32)
endif()
set(QUIVANE_WINE_ENV "WINEPREFIX=${QUIVANE_WINEPREFIX};WINEDEBUG=-all;DISPLAY=;QUIVANE_WINE_SYSTEM32=${QUIVANE_WINE_SYSTEM32}")

add_test(NAME wine.start COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_server.sh start ${QUIVANE_WINEPREFIX})
add_test(NAME wine.stop COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_server.sh stop ${QUIVANE_WINEPREFIX})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 120)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine TIMEOUT 60)

add_executable(win_host_test ${CMAKE_CURRENT_LIST_DIR}/win_host_test.cpp)
quivane_apply_options(win_host_test)
target_link_libraries(win_host_test PRIVATE dnssd_stub ws2_32 version)
target_compile_definitions(win_host_test PRIVATE QUIVANE_VERSION="${PROJECT_VERSION}"
  QUIVANE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} QUIVANE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  QUIVANE_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_link_options(win_host_test PRIVATE -static)
set_target_properties(win_host_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(win_host_test QuivaneDll)
add_test(NAME wine.host COMMAND win_host_test)
set_tests_properties(wine.host PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 120
  ENVIRONMENT "${QUIVANE_WINE_ENV}")

# Where dnssd.dll is looked for, with a host that does not import it, and a dnssd.dll that is
# not a client library.
add_executable(win_search_test ${CMAKE_CURRENT_LIST_DIR}/win_search_test.cpp)
quivane_apply_options(win_search_test)
target_link_options(win_search_test PRIVATE -static)
set_target_properties(win_search_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_library(not_dnssd SHARED ${CMAKE_CURRENT_LIST_DIR}/not_dnssd.c)
set_target_properties(not_dnssd PROPERTIES OUTPUT_NAME dnssd PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/notdnssd ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/notdnssd)
add_dependencies(win_search_test QuivaneDll dnssd_stub not_dnssd)
add_test(NAME wine.dll_search
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dll_search.sh ${CMAKE_BINARY_DIR}
          ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(wine.dll_search PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 300
  ENVIRONMENT "${QUIVANE_WINE_ENV}")

add_test(NAME abi.dll
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/../abi/check_dll.sh $<TARGET_FILE:QuivaneDll> ${CMAKE_OBJDUMP}
          ${CMAKE_SYSTEM_PROCESSOR})
set_tests_properties(abi.dll PROPERTIES LABELS abi TIMEOUT 60)

# The signed DLL and the SDK archive, both exercised under Wine.
add_test(NAME wine.signed
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_signing.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}
          ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(wine.signed PROPERTIES FIXTURES_REQUIRED wine LABELS "wine;package"
  TIMEOUT 120 ENVIRONMENT "${QUIVANE_WINE_ENV}")
add_test(NAME wine.sdk_zip
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_sdk_zip.sh ${CMAKE_BINARY_DIR}
          ${PROJECT_SOURCE_DIR}/tests/package/consumer/consumer.c ${CMAKE_CROSSCOMPILING_EMULATOR}
          ${CMAKE_C_COMPILER} ${PROJECT_VERSION})
set_tests_properties(wine.sdk_zip PROPERTIES FIXTURES_REQUIRED wine LABELS "wine;package"
  TIMEOUT 120 ENVIRONMENT "${QUIVANE_WINE_ENV}")

# Windows without dnssd.dll: registration through dnsapi.dll, against a recording stand-in.
add_library(dnsapi_stub SHARED ${CMAKE_CURRENT_LIST_DIR}/../stub/dnsapi_stub.c)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(dnsapi_stub PRIVATE -Wl,--kill-at) # undecorated, as dnsapi.dll exports them
endif()
set_target_properties(dnsapi_stub PROPERTIES OUTPUT_NAME dnsapi PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dnsapi ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dnsapi)
add_executable(win_dnsapi_test ${CMAKE_CURRENT_LIST_DIR}/win_dnsapi_test.cpp)
quivane_apply_options(win_dnsapi_test)
target_link_libraries(win_dnsapi_test PRIVATE advapi32)
target_link_options(win_dnsapi_test PRIVATE -static)
set_target_properties(win_dnsapi_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(win_dnsapi_test QuivaneDll dnssd_stub dnsapi_stub)
add_test(NAME wine.dnsapi
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dnsapi.sh ${CMAKE_BINARY_DIR} ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(wine.dnsapi PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 300
  ENVIRONMENT "${QUIVANE_WINE_ENV}")
