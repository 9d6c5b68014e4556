# Shared part of the MinGW-w64 toolchain files; they set
# CMAKE_SYSTEM_PROCESSOR, MINGW_PREFIX and MINGW_EMULATOR first. The posix
# thread model is used throughout because GoogleTest needs std::mutex; the
# program itself is linked statically, so no MinGW runtime DLL is needed at
# run time.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest and gtest_discover_tests run the test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${MINGW_EMULATOR})
