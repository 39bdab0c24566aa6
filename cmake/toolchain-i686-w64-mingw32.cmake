# SPDX-License-Identifier: Apache-2.0
# Cross build for 32-bit Windows with Debian's mingw-w64 compilers
# (package g++-mingw-w64-i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(INKDOT_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${INKDOT_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${INKDOT_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${INKDOT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${INKDOT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs and the library carry their own C and C++ runtime, so that they
# need nothing beyond the system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
