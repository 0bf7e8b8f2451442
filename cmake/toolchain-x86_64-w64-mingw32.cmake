# Cross toolchain for the x86_64 Windows build (mingw-w64, posix thread model, fully static).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-w64-mingw32.cmake")
