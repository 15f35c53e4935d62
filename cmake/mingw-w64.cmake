# Cross-build for Windows with Debian's MinGW-w64, posix thread model for std::thread, for the
# target ZEM_MINGW_TRIPLE that the including toolchain file sets. The runtime (libgcc, libstdc++,
# winpthread) is linked statically, so that zembase.dll and the programs need system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEM_MINGW_TRIPLE}-windres)

# Appended, so that a project may add its own roots (an unpacked package) on the command line.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZEM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests run through Wine when it is there.
find_program(ZEM_WINE NAMES ${ZEM_WINE_NAME} wine PATHS /usr/lib/wine)
if(ZEM_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEM_WINE})
endif()
