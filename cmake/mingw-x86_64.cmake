# 64-bit Windows, for machines and systems that run no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(PELIVOR_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
