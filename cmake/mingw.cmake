# Cross-compiles for Windows with the mingw-w64 posix-thread compilers (std::thread, std::mutex)
# of the target that the including toolchain file names in PELIVOR_MINGW_TARGET.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${PELIVOR_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELIVOR_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${PELIVOR_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELIVOR_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No mingw DLLs beside the .exe: everything the program needs is linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
