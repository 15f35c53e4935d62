# What the Windows zip holds beside the installed library: the runtime DLLs of the compiler, which
# a program built by the same compiler needs beside it (zembase.dll and zem.exe have them linked
# in), and in licenses/ the licence of every other project's code in the zip, with a notice that
# says which file holds what.

# The runtime DLLs the compiler links a program against when it is not told -static.
set(ZEM_RUNTIME_DLLS "")
foreach(dll libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        get_filename_component(path ${path} REALPATH)
        install(PROGRAMS ${path} DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND ZEM_RUNTIME_DLLS ${path})
    endif()
endforeach()

# Installs file as licenses/name, or warns that the zip will lack it.
function(zem_install_license file name)
    if(NOT file OR NOT EXISTS "${file}")
        message(WARNING "the licence ${name} for the Windows zip was not found")
        return()
    endif()
    install(FILES ${file} DESTINATION licenses RENAME ${name})
endfunction()

# The copyright file of the Debian package that holds file: the licences of the runtime, of the
# MinGW-w64 libraries and of Debian's MinGW zlib.
function(zem_debian_copyright file out)
    set(${out} "" PARENT_SCOPE)
    if(NOT file)
        return()
    endif()
    get_filename_component(file ${file} REALPATH)
    execute_process(COMMAND dpkg-query -S ${file} OUTPUT_VARIABLE owner ERROR_QUIET
        RESULT_VARIABLE rc)
    string(REGEX REPLACE "[:,].*" "" package "${owner}")
    if(NOT rc AND EXISTS /usr/share/doc/${package}/copyright)
        set(${out} /usr/share/doc/${package}/copyright PARENT_SCOPE)
    endif()
endfunction()

# The licence that scripts/mingw-source-lib.sh put beside a library it built.
function(zem_source_license library file out)
    set(${out} "" PARENT_SCOPE)
    foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
        if(EXISTS ${root}/share/licenses/${library}/${file})
            set(${out} ${root}/share/licenses/${library}/${file} PARENT_SCOPE)
            return()
        endif()
    endforeach()
endfunction()

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
    OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
zem_debian_copyright("${libstdcxx}" gcc_runtime)
zem_install_license("${gcc_runtime}" gcc-runtime.txt)
zem_install_license(/usr/share/common-licenses/GPL-3 GPL-3.txt)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread.a
    OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
zem_debian_copyright("${winpthread}" mingw_w64)
zem_install_license("${mingw_w64}" mingw-w64.txt)
find_library(ZEM_ZLIB_ARCHIVE NAMES libz.a z)
zem_debian_copyright("${ZEM_ZLIB_ARCHIVE}" zlib)
zem_install_license("${zlib}" zlib.txt)
if(FREETYPE_FOUND)
    zem_source_license(freetype FTL.TXT freetype)
    zem_install_license("${freetype}" FreeType.txt)
endif()
if(ZEM_BUILD_TOOLS)
    zem_source_license(libpng LICENSE libpng)
    zem_install_license("${libpng}" libpng.txt)
endif()

list(TRANSFORM ZEM_RUNTIME_DLLS REPLACE ".*/" "bin/")
list(JOIN ZEM_RUNTIME_DLLS ", " ZEM_RUNTIME_DLLS)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} --version OUTPUT_VARIABLE ZEM_COMPILER)
string(REGEX REPLACE "\n.*" "" ZEM_COMPILER "${ZEM_COMPILER}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-licenses.txt.in
    ${PROJECT_BINARY_DIR}/licenses/README.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/licenses/README.txt DESTINATION licenses)
