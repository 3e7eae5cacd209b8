# Cross-compiling the Windows program as 64-bit with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64), for testing under Wine on a machine that runs no
# 32-bit code: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
