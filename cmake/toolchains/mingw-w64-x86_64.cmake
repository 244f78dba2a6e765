# Cross build of the Windows programs on Linux: MinGW-w64 for x86_64 with the
# posix thread model (std::thread and std::mutex over winpthreads), so the
# same C++ threading code builds for both systems. The programs run here
# under Wine through cmake/wine-run.sh (ctest starts them through it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NOMVERA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NOMVERA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NOMVERA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${NOMVERA_MINGW_TRIPLET}-windres)

# Headers and libraries come from the MinGW-w64 system root only; programs
# the build itself runs (cmake, windres) come from the machine.
set(CMAKE_FIND_ROOT_PATH /usr/${NOMVERA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the compiler brings is linked in (libgcc, libstdc++,
# winpthreads), so every .exe and .dll needs only the system's own DLLs and
# runs from any folder without a copy of the compiler's runtime beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# ctest (and add_custom_command with a built program) starts the .exe files
# through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh)
