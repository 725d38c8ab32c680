# Cross-builds the console for 64-bit Windows with Debian's mingw-w64 (the
# posix threads flavour, for std::thread), and runs what it builds under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVIK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVIK_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVIK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread linked in, so the .exe files run
# without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs and tests run under Wine, in a prefix of the build tree's own;
# it is cached so that scripts/test runs the suite's Wine session in it.
set(TARVIK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH
    "The Wine prefix the build's programs and tests run in")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${TARVIK_WINE_PREFIX})
