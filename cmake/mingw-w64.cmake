# SPDX-License-Identifier: Apache-2.0
# Cross build of the Windows console program with Debian's mingw-w64 (x86_64, posix threads).
# Use: cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Test binaries run through wine, so ctest works in the cross build folder as it does natively.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained exe: no libstdc++/libgcc/winpthread DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TAVREL_WINE wine)
if(TAVREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVREL_WINE})
endif()
