# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# x86 Windows (QT_MINGW_X86_PREFIX, default /opt/qt5-mingw-x86).
set(QUILLORA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
if(DEFINED ENV{QT_MINGW_X86_PREFIX})
  set(QT_MINGW_PREFIX "$ENV{QT_MINGW_X86_PREFIX}")
else()
  set(QT_MINGW_PREFIX /opt/qt5-mingw-x86)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
