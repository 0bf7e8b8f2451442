# What the two Windows cross toolchains share (mingw-w64, posix thread model, fully static). The file that includes
# this one sets CMAKE_SYSTEM_PROCESSOR, which names the triple.
set(CMAKE_SYSTEM_NAME Windows)
set(TOOLCHAIN_PREFIX ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
# The cross-built third-party libraries live under build/deps/<triple>; they must be a find root, not a prefix.
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX} "${CMAKE_CURRENT_LIST_DIR}/../build/deps/${TOOLCHAIN_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
