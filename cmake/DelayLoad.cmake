# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Windows looks for a DLL that is not on its list of known DLLs (those it
# always takes from the system folder) in the program's own folder first, so
# anyone who can write there could plant one. The static Qt Core imports some
# such DLLs; quillora_delay_load(target dll...) links them for delayed loading
# instead, and the program's delay-load hook loads each one by its full path
# in the system folder when it is first needed. That hook, with the search
# restriction the entry sets first thing, is launcher/dllsearch_win.cpp: this
# module and that file work as a pair.
#
# The delay-import libraries take the place of the ordinary import libraries
# in Qt Core's own link interface, so they come after Qt Core on the link
# line and resolve its references; listing them with the target would put
# them before Qt Core, where GNU ld would not use them.
set(_quillora_delay_load_dir ${CMAKE_CURRENT_LIST_DIR})

function(quillora_delay_load target)
  # The architecture's own dlltool: another one makes import libraries of
  # the wrong machine type, which the link then ignores.
  find_program(QUILLORA_DLLTOOL NAMES ${QUILLORA_MINGW_TRIPLE}-dlltool REQUIRED NO_DEFAULT_PATH PATHS /usr/bin)
  get_target_property(qt_libraries Qt5::Core INTERFACE_LINK_LIBRARIES)
  get_target_property(qt_core Qt5::Core IMPORTED_LOCATION_RELEASE)
  set(delay_libraries)
  foreach(dll IN LISTS ARGN)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                    OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(delay_library ${CMAKE_CURRENT_BINARY_DIR}/delayload/lib${dll}-delay.a)
    add_custom_command(OUTPUT ${delay_library} ${delay_library}.keep
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${QUILLORA_DLLTOOL} -DDLL=${dll}
              -DPROCESSOR=${CMAKE_SYSTEM_PROCESSOR} -DUSER=${qt_core}
              -DIMPORT_LIBRARY=${import_library} -DOUTPUT=${delay_library}
              -P ${_quillora_delay_load_dir}/make-delay-import.cmake
      DEPENDS ${import_library} ${_quillora_delay_load_dir}/make-delay-import.cmake
      VERBATIM)
    list(APPEND delay_libraries ${delay_library})
    # Whoever links Qt Core links the stubs it needs (see make-delay-import.cmake).
    set_property(TARGET Qt5::Core APPEND PROPERTY INTERFACE_LINK_OPTIONS "@${delay_library}.keep")
    # Qt names each library either bare or by the path where it found it.
    string(REGEX REPLACE "(^|[:;])([^:;>]*/lib)?${dll}(\\.a)?([;>]|$)" "\\1${delay_library}\\4"
           qt_libraries "${qt_libraries}")
  endforeach()
  set_target_properties(Qt5::Core PROPERTIES INTERFACE_LINK_LIBRARIES "${qt_libraries}")
  add_custom_target(${target}-delay-imports DEPENDS ${delay_libraries})
  add_dependencies(${target} ${target}-delay-imports)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${delay_libraries})
  list(TRANSFORM delay_libraries APPEND .keep OUTPUT_VARIABLE keep_files)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${keep_files})
endfunction()
