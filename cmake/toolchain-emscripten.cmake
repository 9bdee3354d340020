# The browser build with Debian's emscripten package: its own CMake platform
# file, its prebuilt system libraries and nothing else (no ports, no downloads).
# em++ needs NODE_PATH=/usr/share/nodejs in the environment (the Makefile sets it).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
