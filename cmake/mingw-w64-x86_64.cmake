# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# x64 Windows (QT_MINGW_PREFIX, default /opt/qt5-mingw).
set(QUILLORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(DEFINED ENV{QT_MINGW_PREFIX})
  set(QT_MINGW_PREFIX "$ENV{QT_MINGW_PREFIX}")
else()
  set(QT_MINGW_PREFIX /opt/qt5-mingw)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
