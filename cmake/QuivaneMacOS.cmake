# SPDX-License-Identifier: MIT
# The universal macOS module: one slice per entry of QUIVANE_MACOS_SLICES (CPU:oldest macOS),
# QuivaneDll itself being the first, each linked by ld64.lld against the libSystem stand-in,
# then joined by llvm-lipo into libQuivaneDll.dylib.
set(QUIVANE_STAND_INS ${PROJECT_SOURCE_DIR}/cmake/sdk-stand-ins)
set(QUIVANE_MACOS_MODULE ${CMAKE_BINARY_DIR}/libQuivaneDll.dylib)
set(slices)
foreach(slice IN LISTS QUIVANE_MACOS_SLICES)
  string(REPLACE ":" ";" parts ${slice})
  list(GET parts 0 cpu)
  list(GET parts 1 oldest)
  if(slices)
    set(target QuivaneDll_${cpu})
    quivane_add_module(${target})
  else()
    set(target QuivaneDll)
  endif()
  # No SDK: clang's own freestanding headers and the stand-ins, never this machine's.
  target_compile_options(${target} PRIVATE --target=${cpu}-apple-macos${oldest} -ffreestanding
    -nostdlibinc)
  target_include_directories(${target} SYSTEM PRIVATE ${QUIVANE_STAND_INS})
  # Only RegisterService leaves the module; the install name lets hosts find it by @rpath.
  # Classic dyld binding info, not chained fixups, which every supported macOS reads.
  # (SHELL: keeps each option with its values: CMake merges repeated words otherwise.)
  target_link_options(${target} PRIVATE "SHELL:-arch ${cpu}"
    "SHELL:-platform_version macos ${oldest} 11.0"
    "SHELL:-install_name @rpath/libQuivaneDll.dylib"
    "SHELL:-current_version ${PROJECT_VERSION}"
    "SHELL:-compatibility_version ${PROJECT_VERSION_MAJOR}.0.0"
    "SHELL:-exported_symbol _RegisterService" -dead_strip -no_fixup_chains
    $<$<CONFIG:Release,MinSizeRel>:-S>)
  target_link_libraries(${target} PRIVATE ${QUIVANE_STAND_INS}/libSystem.tbd)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME QuivaneDll
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/slices/${cpu})
  list(APPEND slices $<TARGET_FILE:${target}>)
  list(APPEND slice_targets ${target})
endforeach()
add_custom_command(OUTPUT ${QUIVANE_MACOS_MODULE}
  COMMAND ${QUIVANE_LIPO} -create ${slices} -output ${QUIVANE_MACOS_MODULE}
  DEPENDS ${slice_targets} VERBATIM)
add_custom_target(QuivaneDll_universal ALL DEPENDS ${QUIVANE_MACOS_MODULE})
