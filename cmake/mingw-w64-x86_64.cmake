# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers.
# The -posix compilers: the plain names default to win32 threads, which have no std::thread.
# MIRODEX_WIN_PREFIX (a cache variable or the environment) is the folder the Windows
# dependencies are installed in; libraries and packages are looked up there and in
# the MinGW runtime only, never among the host's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_AR ${MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT MIRODEX_WIN_PREFIX AND DEFINED ENV{MIRODEX_WIN_PREFIX})
    set(MIRODEX_WIN_PREFIX "$ENV{MIRODEX_WIN_PREFIX}")
endif()
# try_compile projects read this file again: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MIRODEX_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
if(MIRODEX_WIN_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${MIRODEX_WIN_PREFIX}")
    list(APPEND CMAKE_PREFIX_PATH "${MIRODEX_WIN_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run through Wine (ctest, gtest_discover_tests).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
