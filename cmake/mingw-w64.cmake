# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Cross-builds the Windows launcher on Debian with mingw-w64 (the "posix"
# thread model, which Qt needs) against the static Qt that
# scripts/build-qt-mingw.sh installs for the architecture. Included by the
# toolchain file of each architecture, which sets QUILLORA_MINGW_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and where its Qt cache lies by default.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QUILLORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLORA_MINGW_TRIPLE} ${QT_MINGW_PREFIX})
set(CMAKE_PREFIX_PATH ${QT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
