# Cross-build for 64-bit Windows with MinGW-w64. Its tests run in a 64-bit
# Wine prefix through the 64-bit loader, which Debian keeps out of PATH.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
find_program(MINGW_EMULATOR NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT MINGW_EMULATOR)
  set(MINGW_EMULATOR wine64)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
