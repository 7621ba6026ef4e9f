# Porresku.dll as it ships (preset windows-dll; the windows preset builds it
# through cmake/PluginExternal.cmake). Included with the target Porresku made.
#
# - Windows XP SP3 and later: the PE header says 5.1 (ld's default claims
#   NT 4.0), and the win32 thread model keeps winpthreads and its Vista-only
#   imports out (cmake/mingw-i686-win32.cmake); tests/check_xp_floor.sh checks.
# - Reproducible: no link time stamp; a fixed image base (ld otherwise hashes
#   the output path into it); no source or build folder compiled in.
# - bin/Porresku.dll is stripped; bin/unstripped/Porresku.dll, the same link
#   with its symbols and debug information, stays beside it for debugging.

target_sources(Porresku PRIVATE src/Porreskusys/Porreskusys.def src/Porreskusys/Porreskusys.rc)
set_target_properties(Porresku PROPERTIES
  PREFIX "" OUTPUT_NAME Porresku
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/unstripped
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_link_options(Porresku PRIVATE
  -Wl,--enable-stdcall-fixup
  -Wl,--major-os-version,5,--minor-os-version,1
  -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
  -Wl,--no-insert-timestamp
  -Wl,--disable-auto-image-base)
target_compile_options(porresku_flags INTERFACE
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)

set(PORRESKU_SHIPPED_DLL ${CMAKE_BINARY_DIR}/bin/Porresku.dll)
# strip writes a new PE time stamp unless SOURCE_DATE_EPOCH gives one: 0,
# as the link left it.
add_custom_command(TARGET Porresku POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_STRIP} --strip-all -o ${PORRESKU_SHIPPED_DLL} $<TARGET_FILE:Porresku>
  BYPRODUCTS ${PORRESKU_SHIPPED_DLL}
  VERBATIM)
