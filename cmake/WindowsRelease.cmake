# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# The Windows launcher as it ships, built with mingw-w64: it loads nothing
# but system DLLs from the system folder, is small, and is the same byte for
# byte whoever builds the same commit, wherever and whenever.

# libmingw32's main calls WinMain; it must come before qtmain.
target_link_libraries(quillora-launcher PRIVATE mingw32 Qt5::WinMain)
# The stack protector's guard seeded without loading a DLL (see the file).
target_sources(quillora-launcher PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../launcher/stackguard_win.cpp)
# Runs with nothing but Windows' own DLLs beside it (Qt and the compiler's
# runtime are linked statically); the rest of Qt's system DLLs are loaded
# late, from the system folder only.
target_link_options(quillora-launcher PRIVATE -static -static-libgcc -static-libstdc++)
include(${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake)
quillora_delay_load(quillora-launcher mpr netapi32 userenv version winmm)

# Small: each function in a section of its own, and what nothing calls is
# dropped at the link (the static Qt is built the same way).
# Reproducible: no link time in the header, no source or build path in the
# objects. SOURCE_DATE_EPOCH (the commit's time) keeps objcopy and strip
# from stamping the current time into the header again.
foreach(target quillora-launcher quillora-launcher-core)
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections -g
                         -ffile-prefix-map=${CMAKE_SOURCE_DIR}=src -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endforeach()
target_link_options(quillora-launcher PRIVATE -Wl,--gc-sections -Wl,--no-insert-timestamp)
# Which archive members the link took, for the third-party notices
# (scripts/third-party-notices.py); a build artifact, never shipped.
set(QUILLORA_LINK_MAP ${CMAKE_BINARY_DIR}/debug/quillora-launcher.map)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debug)
target_link_options(quillora-launcher PRIVATE -Wl,-Map=${QUILLORA_LINK_MAP})
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(QUILLORA_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE QUILLORA_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT QUILLORA_SOURCE_DATE_EPOCH)
    set(QUILLORA_SOURCE_DATE_EPOCH 0)
  endif()
endif()
# A new time must reach the executable even when nothing else changed.
file(WRITE ${CMAKE_BINARY_DIR}/source-date-epoch.new "${QUILLORA_SOURCE_DATE_EPOCH}\n")
configure_file(${CMAKE_BINARY_DIR}/source-date-epoch.new ${CMAKE_BINARY_DIR}/source-date-epoch COPYONLY)
set_property(TARGET quillora-launcher APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/source-date-epoch)

# Stripped: the debug information goes to debug/quillora-launcher.exe.debug,
# a build artifact of its own that is not shipped; the executable names it
# (with a checksum) for debuggers.
find_program(QUILLORA_OBJCOPY NAMES ${QUILLORA_MINGW_TRIPLE}-objcopy REQUIRED)
# Debian's, which has python3-pefile, before any other on PATH.
find_program(QUILLORA_PYTHON NAMES python3 HINTS /usr/bin REQUIRED)
set(debug_file ${CMAKE_BINARY_DIR}/debug/quillora-launcher.exe.debug)
set(stamped ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUILLORA_SOURCE_DATE_EPOCH})
add_custom_command(TARGET quillora-launcher POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debug
  COMMAND ${stamped} ${QUILLORA_OBJCOPY} --only-keep-debug $<TARGET_FILE:quillora-launcher> ${debug_file}
  COMMAND ${stamped} ${QUILLORA_OBJCOPY} --strip-all $<TARGET_FILE:quillora-launcher>
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/debug
          ${stamped} ${QUILLORA_OBJCOPY} --add-gnu-debuglink=quillora-launcher.exe.debug $<TARGET_FILE:quillora-launcher>
  # Signable and unsigned alike: padded and checksummed as signing leaves it.
  COMMAND ${QUILLORA_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/pe-finish.py $<TARGET_FILE:quillora-launcher>
  VERBATIM)

# What ships (scripts/release-windows.sh): the executable with its licence
# and notices; the symbols apart. Nothing of the tests is ever installed.
install(TARGETS quillora-launcher RUNTIME DESTINATION . COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION . COMPONENT runtime)
install(FILES ${debug_file} DESTINATION . COMPONENT debug)
