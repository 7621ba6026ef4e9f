# porresku-log.exe as it ships beside Porresku.dll (preset windows-dll), built
# as cmake/Plugin.cmake builds the DLL:
#
# - Windows XP SP3 and later: the PE header says 5.1, the win32 thread model
#   (cmake/mingw-i686-win32.cmake) and -static keep the imports to Windows'
#   own DLLs; tests/check_xp_floor.sh checks.
# - Reproducible: no link time stamp, a fixed image base, no source or build
#   folder compiled in (Plugin.cmake's -ffile-prefix-map, on every target).
# - bin/porresku-log.exe is stripped; bin/unstripped/porresku-log.exe keeps
#   its symbols and debug information.

set_target_properties(porresku-log PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/unstripped)
target_link_options(porresku-log PRIVATE
  -Wl,--major-os-version,5,--minor-os-version,1
  -Wl,--major-subsystem-version,5,--minor-subsystem-version,1
  -Wl,--no-insert-timestamp
  -Wl,--disable-auto-image-base)

set(PORRESKU_SHIPPED_TOOL ${CMAKE_BINARY_DIR}/bin/porresku-log.exe)
# SOURCE_DATE_EPOCH=0: strip keeps the link's time stamp of 0. (A command of
# its own: the target belongs to tools/porresku-log.)
add_custom_command(OUTPUT ${PORRESKU_SHIPPED_TOOL}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
          ${CMAKE_STRIP} --strip-all -o ${PORRESKU_SHIPPED_TOOL} $<TARGET_FILE:porresku-log>
  DEPENDS porresku-log
  VERBATIM)
add_custom_target(porresku-log-shipped ALL DEPENDS ${PORRESKU_SHIPPED_TOOL})
