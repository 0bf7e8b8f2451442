# The Windows builds append their package with the package tool, which must run on the build machine.
# A cross build therefore builds a native copy of the tool in a sub-build; QV_HOST_PACKTOOL names it, and
# the target qv_host_tools builds it. The host builds use their own packtool target.
if(CMAKE_CROSSCOMPILING)
    include(ExternalProject)
    set(QV_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
    ExternalProject_Add(qv_host_tools
        SOURCE_DIR ${PROJECT_SOURCE_DIR}
        BINARY_DIR ${QV_HOST_TOOLS_DIR}
        CMAKE_ARGS -DQV_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
        BUILD_COMMAND ${CMAKE_COMMAND} --build ${QV_HOST_TOOLS_DIR} --target packtool
        BUILD_ALWAYS ON
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS ${QV_HOST_TOOLS_DIR}/tools/packtool)
    set(QV_HOST_PACKTOOL ${QV_HOST_TOOLS_DIR}/tools/packtool)
else()
    add_custom_target(qv_host_tools DEPENDS packtool)
    set(QV_HOST_PACKTOOL $<TARGET_FILE:packtool>)
endif()
