# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64,
# libz-mingw-w64-dev):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
# The executables link the C and C++ runtimes, threads and zlib statically, so
# they need no DLL beyond those Windows itself ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WAVTREX_MINGW x86_64-w64-mingw32)
# The posix thread model: std::thread needs it with this compiler generation.
find_program(CMAKE_C_COMPILER NAMES ${WAVTREX_MINGW}-gcc-posix ${WAVTREX_MINGW}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${WAVTREX_MINGW}-g++-posix ${WAVTREX_MINGW}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${WAVTREX_MINGW}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${WAVTREX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

