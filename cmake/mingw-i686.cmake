# Cross build of the 32-bit Windows plug-in and tools with mingw-w64.
#   cmake -G Ninja -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The -posix compilers are the ones whose libstdc++ has std::thread and
# std::mutex; the top-level build links everything with -static so that the
# DLL needs no mingw runtime DLL on a bare Windows, and adds -msse2
# -mfpmath=sse for this target so that flush-to-zero governs the DSP.
set(TALVEX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
