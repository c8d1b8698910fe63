# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix-thread
# variant: the win32 one has no std::thread, std::mutex or
# std::condition_variable).
#   cmake -S . -B build/windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SNTOOL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SNTOOL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SNTOOL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SNTOOL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SNTOOL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine (ctest, and test discovery).
find_program(SNTOOL_WINE wine)
if(SNTOOL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SNTOOL_WINE})
endif()
