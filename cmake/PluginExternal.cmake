# The windows preset's Porresku.dll and porresku-log.exe: the shipped build
# (preset windows-dll, cmake/Plugin.cmake and cmake/ToolRelease.cmake) of
# the same sources, made in build/windows/plugin and copied into bin/ beside
# the test programs, which load the DLL and start the tool by name. The test
# programs keep the posix thread model (GoogleTest needs it); the DLL and the
# tool they test are the ones that ship. The target keeps the name Porresku,
# so the test programs depend on it as on the library itself.
include(ExternalProject)

set(PORRESKU_PLUGIN_FILE ${CMAKE_BINARY_DIR}/bin/Porresku.dll)
set(PORRESKU_PLUGIN_UNSTRIPPED ${CMAKE_BINARY_DIR}/bin/unstripped/Porresku.dll)
set(PORRESKU_SHIPPED_TOOL_COPY ${CMAKE_BINARY_DIR}/bin/porresku-log.exe)
ExternalProject_Add(Porresku
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/plugin
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -S <SOURCE_DIR> -B <BINARY_DIR> --preset windows-dll
  # Ninja sees whether anything changed; copy_if_different keeps the copies'
  # times when nothing did. One job: this step already holds one of the
  # outer build's, and the plug-in is a handful of files.
  BUILD_ALWAYS ON
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j 1 --target Porresku porresku-log-shipped
        COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/Porresku.dll ${PORRESKU_PLUGIN_FILE}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/unstripped/Porresku.dll
                ${PORRESKU_PLUGIN_UNSTRIPPED}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/bin/porresku-log.exe ${PORRESKU_SHIPPED_TOOL_COPY}
  BUILD_BYPRODUCTS ${PORRESKU_PLUGIN_FILE} ${PORRESKU_PLUGIN_UNSTRIPPED} ${PORRESKU_SHIPPED_TOOL_COPY}
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
