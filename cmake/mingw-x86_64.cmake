# 64-bit Windows: the DLL that Internet Explorer's 64-bit tab processes load.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TANDREL_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
