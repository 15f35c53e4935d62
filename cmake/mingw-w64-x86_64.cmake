# The 64-bit Windows build (g++-mingw-w64-x86-64), tests run by wine64: for machines whose kernel
# runs no 32-bit programs, where the 32-bit build cannot be tested.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEM_MINGW_TRIPLE x86_64-w64-mingw32)
set(ZEM_WINE_NAME wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
