# The 32-bit Windows DLL (g++-mingw-w64-i686), tests run by wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEM_MINGW_TRIPLE i686-w64-mingw32)
set(ZEM_WINE_NAME wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
