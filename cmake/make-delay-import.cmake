# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Makes a delay-import library for one system DLL, run at build time:
#   cmake -DNM=... -DDLLTOOL=... -DDLL=version -DPROCESSOR=x86_64|i686 -DUSER=<libQt5Core.a>
#         -DIMPORT_LIBRARY=<mingw's libversion.a> -DOUTPUT=<libversion-delay.a> -P make-delay-import.cmake
# The exports are those of mingw's own import library, so the delay-import
# library offers exactly what the ordinary one does. On x86 they are
# stdcall names: "__imp__Name@12" in the library is "Name@12" to dlltool,
# and the DLL exports it as "Name" (--kill-at).
#
# It also writes <OUTPUT>.keep, options for the link. GNU ld for i386 drops
# the stub of an import that code reaches only through its "__imp_" name, as
# for an ordinary import it is not needed; in a delay import that stub is
# what loads the DLL, and the import's slot would then lead to address 0. So
# on x86 each function of this DLL that USER (Qt Core) reaches that way is
# named to the link by its stub's own name, which keeps the stub.
execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot list the exports of ${IMPORT_LIBRARY}")
endif()
string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
list(SORT imports)
list(REMOVE_DUPLICATES imports)
set(definition "LIBRARY ${DLL}.dll\nEXPORTS\n")
set(stdcall_options)
if(PROCESSOR STREQUAL "i686")
  set(stdcall_options --kill-at)
endif()
foreach(import IN LISTS imports)
  string(REPLACE " I __imp_" "" name "${import}")
  if(PROCESSOR STREQUAL "i686")
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND definition "  ${name}\n")
endforeach()
file(WRITE ${OUTPUT}.def "${definition}")
set(keep "")
if(PROCESSOR STREQUAL "i686")
  execute_process(COMMAND ${NM} -u ${USER} OUTPUT_VARIABLE used RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot list what ${USER} imports")
  endif()
  foreach(import IN LISTS imports)
    string(REPLACE " I " "" symbol "${import}")
    string(FIND "${used}" " U ${symbol}\n" at)
    if(at GREATER -1)
      string(REPLACE "__imp_" "" stub "${symbol}")
      string(APPEND keep "-Wl,--undefined=${stub}\n")
    endif()
  endforeach()
endif()
file(WRITE ${OUTPUT}.keep "${keep}")
# dlltool names its symbols after the output path: run where the name alone
# will do, so no build path gets into the objects.
get_filename_component(directory ${OUTPUT} DIRECTORY)
get_filename_component(name ${OUTPUT} NAME)
execute_process(COMMAND ${DLLTOOL} ${stdcall_options} --input-def ${name}.def --dllname ${DLL}.dll --output-delaylib ${name}
                WORKING_DIRECTORY ${directory} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dlltool could not make ${OUTPUT}")
endif()
