# Cross-compiles for Windows with Debian's mingw-w64, for the processor that
# the including toolchain file names (i686 or x86_64); the posix thread model
# is needed because GoogleTest uses std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(TANDREL_TRIPLET ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${TANDREL_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TANDREL_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TANDREL_TRIPLET}-windres)
set(TANDREL_WIDL ${TANDREL_TRIPLET}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${TANDREL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs are Windows executables; CTest runs them under Wine, in the
# prefix of their own bitness (scripts/wine-env).
set(CMAKE_CROSSCOMPILING_EMULATOR env TANDREL_ARCH=${TANDREL_ARCH} "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
