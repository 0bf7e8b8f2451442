# Lays out the maintainer's folder of a Windows build and prints the sizes of the shipped files.
#   cmake -DDIST=<folder> -DIMAGE=<bare image> -DLIBRARY=<SavePatch.qvx> -DPACKTOOL_EXE=<packtool.exe>
#         -DPACKTOOL=<Linux packtool> -DSTRIP=<Linux strip> -DOBJDUMP=<objdump of the target> -DDEMO=<demo installer>
#         -DLAYOUT=<winpos.txt, GBK> -DARTWORK=<folder of window1.bmp and window2.bmp> -DRELEASE_DIR=<this folder>
#         -P LayOutDist.cmake
# The folder is made anew each time. Fails when a shipped Windows file imports a DLL that is not a KnownDLL.

cmake_minimum_required(VERSION 3.21)

# The DLLs that the program, the helper library and packtool.exe may import: KnownDLLs only (known-dlls.txt).
file(STRINGS ${RELEASE_DIR}/known-dlls.txt system_dlls REGEX "^[^#]")

function(check_imports file)
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${file} failed")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    set(names)
    foreach(line IN LISTS lines)
        string(REPLACE "DLL Name: " "" name "${line}")
        string(TOLOWER "${name}" lower)
        if(NOT lower IN_LIST system_dlls)
            message(FATAL_ERROR "${file} imports ${name}, which is not a KnownDLL (release/known-dlls.txt): the "
                                "loader would look for it beside the program first. Load it at its first use "
                                "from the system folder instead (support/SystemLibrary_win.h)")
        endif()
        list(APPEND names ${name})
    endforeach()
    list(JOIN names " " joined)
    get_filename_component(shown ${file} NAME)
    message("  ${shown} imports: ${joined}")
endfunction()

# "1 565 198" from 1565198.
function(grouped number out)
    set(text "")
    while(number GREATER 999)
        math(EXPR rest "${number} % 1000")
        math(EXPR number "${number} / 1000")
        string(LENGTH "${rest}" digits)
        if(digits EQUAL 1)
            set(rest "00${rest}")
        elseif(digits EQUAL 2)
            set(rest "0${rest}")
        endif()
        set(text " ${rest}${text}")
    endwhile()
    set(${out} "${number}${text}" PARENT_SCOPE)
endfunction()

function(print_size label file)
    file(SIZE ${file} bytes)
    grouped(${bytes} text)
    math(EXPR kib "(${bytes} + 512) / 1024")
    message("  ${label}: ${text} bytes (${kib} KB)  ${file}")
endfunction()

# The size of one section, from objdump -h.
function(section_size file section out)
    execute_process(COMMAND ${OBJDUMP} -h ${file} OUTPUT_VARIABLE dump)
    string(REGEX MATCH "[ \t]${section}[ \t]+([0-9a-f]+)" found "${dump}")
    set(size 0)
    if(found)
        math(EXPR size "0x${CMAKE_MATCH_1}")
    endif()
    set(${out} ${size} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${DIST})
file(MAKE_DIRECTORY ${DIST}/sample ${DIST}/symbols)
file(COPY ${IMAGE} ${LIBRARY} ${PACKTOOL_EXE} DESTINATION ${DIST})
file(COPY ${IMAGE}.debug ${LIBRARY}.debug ${PACKTOOL_EXE}.debug DESTINATION ${DIST}/symbols)
file(COPY ${PACKTOOL} DESTINATION ${DIST})
get_filename_component(packtool_name ${PACKTOOL} NAME)
execute_process(COMMAND ${STRIP} ${DIST}/${packtool_name} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${STRIP} ${DIST}/${packtool_name} failed")
endif()
file(COPY ${LAYOUT} DESTINATION ${DIST}/sample)
# The skin pictures built into the image, as samples of what packtool brand takes (24-bit uncompressed BMP).
file(COPY ${ARTWORK}/window1.bmp ${ARTWORK}/window2.bmp DESTINATION ${DIST}/sample)
configure_file(${RELEASE_DIR}/sample-manifest.txt ${DIST}/sample/manifest.txt COPYONLY)
configure_file(${RELEASE_DIR}/GUIDE.en.md ${DIST}/GUIDE.en.md COPYONLY)
configure_file(${RELEASE_DIR}/GUIDE.zh-CN.md ${DIST}/GUIDE.zh-CN.md COPYONLY)

# SHA256SUMS in the format of sha256sum, so that "sha256sum -c SHA256SUMS" checks the folder.
file(GLOB_RECURSE shipped RELATIVE ${DIST} ${DIST}/*)
list(SORT shipped)
set(sums "")
foreach(name IN LISTS shipped)
    file(SHA256 ${DIST}/${name} hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIST}/SHA256SUMS "${sums}")

get_filename_component(image_name ${IMAGE} NAME)
get_filename_component(library_name ${LIBRARY} NAME)
get_filename_component(packtool_exe_name ${PACKTOOL_EXE} NAME)
message("Shipped files in ${DIST}:")
print_size("bare image      " ${DIST}/${image_name})
section_size(${DIST}/${image_name} .rsrc resources)
section_size(${DIST}/${image_name} .text code)
grouped(${resources} resources_text)
grouped(${code} code_text)
message("    of which resources (the two skin pictures, cursor, icon, dialog, version, manifest): ${resources_text} "
        "bytes, code: ${code_text} bytes")
print_size("helper library  " ${DIST}/${library_name})
print_size("packtool.exe    " ${DIST}/${packtool_exe_name})
print_size("packtool (Linux)" ${DIST}/${packtool_name})
print_size("demo installer  " ${DEMO})
check_imports(${DIST}/${image_name})
check_imports(${DIST}/${library_name})
check_imports(${DIST}/${packtool_exe_name})
