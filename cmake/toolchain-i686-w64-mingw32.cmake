# Cross toolchain for the i686 Windows build (mingw-w64, posix thread model, fully static).
set(CMAKE_SYSTEM_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/toolchain-w64-mingw32.cmake")
