# Shared part of the two mingw-w64 toolchain files; TALVEX_MINGW_TRIPLE names
# the target (i686-w64-mingw32 or x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
if(TALVEX_MINGW_TRIPLE MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

# Debian's unsuffixed mingw compilers are the -win32 thread model, whose
# libstdc++ lacks std::thread and std::mutex: always take the -posix ones.
set(CMAKE_C_COMPILER ${TALVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVEX_MINGW_TRIPLE}-windres)
# The host's binutils may not know PE objects; use the target's own.
find_program(CMAKE_AR ${TALVEX_MINGW_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB ${TALVEX_MINGW_TRIPLE}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${TALVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs of this tree run under wine (see tests/windows).
find_program(TALVEX_WINE_PROGRAM wine)
if(TALVEX_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TALVEX_WINE_PROGRAM})
endif()
