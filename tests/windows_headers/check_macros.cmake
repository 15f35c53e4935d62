# Every name of the public headers that <windows.h> defines as a plain macro (ERROR, DrawText,
# CopyFile, ...) is declared out of the macro's reach: its header pushes the macro aside
# (#pragma push_macro) and gives the program the name the macro turns it into. A new public name
# that Windows rewrites fails here, with the names and their headers.
# Usage: cmake -DCXX=<MinGW g++> -DROOT=<source tree> -DWORK=<scratch folder> -P check_macros.cmake
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/windows.cpp "#include <windows.h>\n")
execute_process(COMMAND ${CXX} -dM -E ${WORK}/windows.cpp OUTPUT_FILE ${WORK}/macros.txt
    RESULT_VARIABLE rc)
if(rc)
    message(FATAL_ERROR "the compiler could not read <windows.h>")
endif()
# Function-like macros (FAILED(hr)) leave a name alone unless a '(' follows it.
file(STRINGS ${WORK}/macros.txt defines REGEX "^#define [A-Za-z_][A-Za-z0-9_]*( |$)")
foreach(define IN LISTS defines)
    string(REGEX REPLACE "^#define ([A-Za-z0-9_]+).*" "\\1" name "${define}")
    set(windows_${name} 1)
endforeach()

file(GLOB_RECURSE headers ${ROOT}/include/zem/*.h)
set(unguarded "")
foreach(header IN LISTS headers)
    file(READ ${header} text)
    string(REGEX REPLACE "//[^\n]*" "" code "${text}")
    string(REGEX REPLACE "(^|\n)#[^\n]*" "\\1" code "${code}")
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" names "${code}")
    list(REMOVE_DUPLICATES names)
    foreach(name IN LISTS names)
        if(DEFINED windows_${name} AND NOT text MATCHES "#pragma push_macro\\(\"${name}\"\\)")
            file(RELATIVE_PATH path ${ROOT}/include ${header})
            list(APPEND unguarded "${name} (${path})")
        endif()
    endforeach()
endforeach()
if(unguarded)
    list(JOIN unguarded ", " unguarded)
    message(FATAL_ERROR "<windows.h> rewrites these public names: ${unguarded}")
endif()
