# SPDX-License-Identifier: MIT
# Warnings, hardening and sanitizers, applied target by target.
function(quivane_apply_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    $<$<COMPILE_LANGUAGE:CXX>:-Wconversion -Wold-style-cast>
    $<$<BOOL:${QUIVANE_WERROR}>:-Werror>)
  # No build paths in what is built: sources and the build tree are named relative to "."
  # (debug info, __FILE__), so two build directories give the same bytes.
  target_compile_options(${target} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
    -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE -fstack-protector-strong -Wformat -Wformat-security)
    # Fortification needs optimisation and gets in the sanitizers' way.
    if(NOT QUIVANE_SANITIZE)
      target_compile_definitions(${target} PRIVATE
        $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
    get_target_property(type ${target} TYPE)
    if((type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "EXECUTABLE") AND NOT APPLE)
      target_link_options(${target} PRIVATE -Wl,-z,relro,-z,now -Wl,-z,noexecstack)
    endif()
  endif()
  if(QUIVANE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${QUIVANE_SANITIZE}
      -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${QUIVANE_SANITIZE})
  endif()
endfunction()
