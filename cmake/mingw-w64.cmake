# Cross build of smfscope.exe for 64-bit Windows with MinGW-w64 (Debian:
# g++-mingw-w64-x86-64-posix). Tests of the Windows programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: the C++ runtime, libgcc and winpthread inside.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The 64-bit Wine loader runs the test programs.
find_program(SMFSCOPE_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(SMFSCOPE_WINE NAMES wine64 wine)
if(SMFSCOPE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SMFSCOPE_WINE})
endif()
