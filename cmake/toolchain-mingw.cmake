# Cross-compiling for Windows with MinGW-w64 (Debian: g++-mingw-w64-i686-posix
# or g++-mingw-w64-x86-64-posix, the posix thread model that std::thread
# needs). Included by toolchain-i686-mingw.cmake and
# toolchain-x86_64-mingw.cmake, which name the processor.
set(CMAKE_SYSTEM_NAME Windows)

set(VKTCOM_MINGW_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${VKTCOM_MINGW_PREFIX}-gcc-posix ${VKTCOM_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VKTCOM_MINGW_PREFIX}-g++-posix ${VKTCOM_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VKTCOM_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VKTCOM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and the DLL carry their C and C++ runtime and the thread
# library inside, so that they import only Windows system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
