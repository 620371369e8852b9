# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers. The posix-threads
# variant is used because its C++ library has std::thread and friends.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KSTBELL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KSTBELL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KSTBELL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KSTBELL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the cross sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KSTBELL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
