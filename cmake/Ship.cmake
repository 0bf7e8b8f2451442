# The shipped Windows files: unused sections dropped, symbols stripped, debug information kept beside the build.
#
# qv_ship(<target>): links <target> with --gc-sections; after each link its debug information goes into
# <file>.debug beside it (objcopy --only-keep-debug), the file itself is stripped of symbols and debug sections and
# gets a .gnu_debuglink naming the .debug file. A crash address in a shipped file is then resolved with
#   <triple>-addr2line -f -C -e QuorvanSetup-image.exe.debug 0x<address>
# or by gdb, which follows the link. The objects are compiled with -g -ffunction-sections
# (cmake/Project.cmake), so that the link can drop what nothing calls and the .debug file describes our own code.

# The time stamp of the shipped files' headers: SOURCE_DATE_EPOCH when the build is given one, else 0.
set(QV_SOURCE_DATE_EPOCH 0)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(QV_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
endif()

# The Linux builds ship nothing but packtool, which release/LayOutDist.cmake strips as it copies it.
function(qv_ship target)
    if(NOT WIN32)
        return()
    endif()
    if(NOT CMAKE_OBJCOPY)
        message(FATAL_ERROR "no objcopy for ${CMAKE_CXX_COMPILER}: ${target} cannot be stripped")
    endif()
    # No build time in the header (ld leaves it 0, objcopy writes SOURCE_DATE_EPOCH's), so that the same sources
    # give the same bytes and SHA256SUMS can be checked against a rebuild.
    target_link_options(${target} PRIVATE -Wl,--gc-sections -Wl,--no-insert-timestamp)
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QV_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})
    # A PE file's exports and base relocations are tables of their own, not symbols: --strip-all keeps them.
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        COMMAND ${objcopy} --strip-all --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug $<TARGET_FILE:${target}>
        COMMENT "Stripping $<TARGET_FILE_NAME:${target}> (debug information in $<TARGET_FILE_NAME:${target}>.debug)"
        VERBATIM)
endfunction()

# qv_ship_text_checked(<target>): qv_ship, and after each link the build fails when the file imports a narrow (A)
# function of the system that carries text (release/check_text_imports.py): every text reaches the system as UTF-16
# converted from GBK, whatever the system's code page. For the program and the helper library.
function(qv_ship_text_checked target)
    qv_ship(${target})
    if(NOT WIN32)
        return()
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    if(NOT CMAKE_NM)
        message(FATAL_ERROR "no nm for ${CMAKE_CXX_COMPILER}: the imports of ${target} cannot be checked")
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} -B ${PROJECT_SOURCE_DIR}/release/check_text_imports.py
                --objdump ${CMAKE_OBJDUMP} --nm ${CMAKE_NM} $<TARGET_FILE:${target}>
        COMMENT "Checking the text imports of $<TARGET_FILE_NAME:${target}>"
        VERBATIM)
endfunction()
