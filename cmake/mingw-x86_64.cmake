# Cross-build for 64-bit Windows with MinGW-w64 (a compile and link check).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(MINGW_EMULATOR wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
