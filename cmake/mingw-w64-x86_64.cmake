# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Cross-builds the Windows launcher on Debian with mingw-w64 (the "posix"
# thread model, which Qt needs) against the static Qt that
# scripts/build-qt-mingw.sh installs (QT_MINGW_PREFIX, default /opt/qt5-mingw).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{QT_MINGW_PREFIX})
  set(QT_MINGW_PREFIX "$ENV{QT_MINGW_PREFIX}")
else()
  set(QT_MINGW_PREFIX /opt/qt5-mingw)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${QT_MINGW_PREFIX})
set(CMAKE_PREFIX_PATH ${QT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
