# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# Programs are linked statically against the C and C++ runtimes, so an
# executable imports only DLLs that come with Windows. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingwTriple x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex work, and winpthreads is
# linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${mingwTriple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingwTriple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingwTriple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingwTriple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_RC_FLAGS_INIT "-O coff")

# Test programs run through Wine; the tests set its prefix and options.
find_program(SHADESTRIP_WINE NAMES wine wine64)
if(SHADESTRIP_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${SHADESTRIP_WINE})
endif()
