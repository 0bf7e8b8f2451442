# Compiler settings shared by every target of ours, and the two third-party libraries.

# String literals are GBK at run time; sources stay UTF-8. clang has no GBK execution charset,
# so the fuzz build (which holds no Chinese text of its own) keeps UTF-8.
set(QV_CHARSET_FLAGS)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(QV_CHARSET_FLAGS -finput-charset=UTF-8 -fexec-charset=GBK)
endif()

set(QV_WARNING_FLAGS -Wall -Wextra)
if(QV_WERROR)
    list(APPEND QV_WARNING_FLAGS -Werror)
endif()

if(QV_SANITIZE)
    # Our code has no RTTI, so the vptr check (which needs it) is left out.
    add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(QV_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

set(QV_SHIP_FLAGS)
if(WIN32)
    # Nothing beside the Win32 API: the C++ runtime, libgcc and winpthread are linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
    # Our functions in sections of their own, so that the shipped files' link drops what nothing calls, and with debug
    # information, which cmake/Ship.cmake moves out of the shipped files into .debug files beside them. Paths in it
    # are relative to the top of the tree, so that a clone elsewhere builds the same bytes.
    set(QV_SHIP_FLAGS -g -ffunction-sections -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()

# qv_target(<target>): our own code: warnings, no exceptions, no RTTI, GBK literals.
function(qv_target target)
    target_compile_options(${target} PRIVATE ${QV_WARNING_FLAGS} ${QV_CHARSET_FLAGS} ${QV_SHIP_FLAGS}
                           $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

# qv_library(<target> <source>...): a static library of our own code, with the top of the tree on the include path
# of everything that links it.
function(qv_library target)
    add_library(${target} STATIC ${ARGN})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    qv_target(${target})
endfunction()

# qv_test_target(<target>): test code: warnings and GBK literals; GoogleTest keeps its own runtime needs.
function(qv_test_target target)
    target_compile_options(${target} PRIVATE ${QV_WARNING_FLAGS} ${QV_CHARSET_FLAGS})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/Ship.cmake)

# --- liblzo2 and libmd -------------------------------------------------------------------------------------------
if(WIN32)
    find_path(LZO2_INCLUDE_DIR lzo/lzo1x.h REQUIRED)
    find_library(LZO2_LIBRARY lzo2 REQUIRED)
    find_path(MD_INCLUDE_DIR md5.h REQUIRED)
    find_library(MD_LIBRARY md REQUIRED)
    add_library(qv_lzo2 INTERFACE)
    target_include_directories(qv_lzo2 SYSTEM INTERFACE ${LZO2_INCLUDE_DIR})
    target_link_libraries(qv_lzo2 INTERFACE ${LZO2_LIBRARY})
    add_library(qv_md INTERFACE)
    target_include_directories(qv_md SYSTEM INTERFACE ${MD_INCLUDE_DIR})
    target_link_libraries(qv_md INTERFACE ${MD_LIBRARY})
elseif(QV_TOOLS_ONLY)
    # The Windows builds' packtool, which also goes into the maintainer's folder: the two libraries and the C++
    # runtime are linked in, so that it runs on a Linux machine that has only the C library.
    find_library(LZO2_STATIC_LIBRARY NAMES liblzo2.a REQUIRED)
    find_library(MD_STATIC_LIBRARY NAMES libmd.a REQUIRED)
    add_library(qv_lzo2 INTERFACE)
    target_include_directories(qv_lzo2 SYSTEM INTERFACE /usr/include)
    target_link_libraries(qv_lzo2 INTERFACE ${LZO2_STATIC_LIBRARY})
    add_library(qv_md INTERFACE)
    target_link_libraries(qv_md INTERFACE ${MD_STATIC_LIBRARY})
    add_link_options(-static-libstdc++ -static-libgcc)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET lzo2)
    pkg_check_modules(LIBMD REQUIRED IMPORTED_TARGET libmd)
    add_library(qv_lzo2 INTERFACE)
    # Debian's lzo2.pc points at include/lzo; our code includes <lzo/lzo1x.h>.
    target_include_directories(qv_lzo2 SYSTEM INTERFACE /usr/include)
    target_link_libraries(qv_lzo2 INTERFACE PkgConfig::LZO2)
    add_library(qv_md INTERFACE)
    target_link_libraries(qv_md INTERFACE PkgConfig::LIBMD)
endif()

# --- GoogleTest --------------------------------------------------------------------------------------------------
# Built from Debian's sources inside each tree, so the host, sanitizer and both Windows builds use the same version.
macro(qv_enable_gtest)
    if(NOT TARGET gtest)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(gtest_disable_pthreads ${WIN32} CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    endif()
    include(GoogleTest)
endmacro()

# advapi32 exports MD5Init/MD5Update/MD5Final too, with another context layout. Named on a link line ahead of
# libmd it captures those symbols and every digest comes out wrong. CMake already appends advapi32 after all of
# our libraries, so no target may name it; qv_check_link_order() fails the configure step if one does.
function(qv_check_link_order)
    set(pending ${PROJECT_SOURCE_DIR})
    while(pending)
        list(POP_FRONT pending dir)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND pending ${subdirs})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            set(libs)
            if(NOT type STREQUAL "INTERFACE_LIBRARY")
                get_target_property(libs ${target} LINK_LIBRARIES)
            endif()
            get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
            foreach(lib IN LISTS libs interface)
                string(TOLOWER "${lib}" lower)
                if(lower MATCHES "advapi32")
                    message(FATAL_ERROR "${target} links advapi32 explicitly; leave it to CMake's default libraries "
                                        "so that libmd's MD5 functions are not taken from advapi32")
                endif()
            endforeach()
        endforeach()
    endwhile()
endfunction()
