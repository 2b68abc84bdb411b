# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Makes a delay-import library for one system DLL, run at build time:
#   cmake -DNM=... -DDLLTOOL=... -DDLL=version -DIMPORT_LIBRARY=<mingw's libversion.a>
#         -DOUTPUT=<libversion-delay.a> -P make-delay-import.cmake
# The exports are those of mingw's own import library, so the delay-import
# library offers exactly what the ordinary one does.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot list the exports of ${IMPORT_LIBRARY}")
endif()
string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
list(SORT imports)
list(REMOVE_DUPLICATES imports)
set(definition "LIBRARY ${DLL}.dll\nEXPORTS\n")
foreach(import IN LISTS imports)
  string(REPLACE " I __imp_" "" name "${import}")
  string(APPEND definition "  ${name}\n")
endforeach()
file(WRITE ${OUTPUT}.def "${definition}")
# dlltool names its symbols after the output path: run where the name alone
# will do, so no build path gets into the objects.
get_filename_component(directory ${OUTPUT} DIRECTORY)
get_filename_component(name ${OUTPUT} NAME)
execute_process(COMMAND ${DLLTOOL} --input-def ${name}.def --dllname ${DLL}.dll --output-delaylib ${name}
                WORKING_DIRECTORY ${directory} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dlltool could not make ${OUTPUT}")
endif()
